#include "common/settings_key.h"

#include <gtest/gtest.h>

#include <functional>

#include "settings_fixture.h"

namespace {

using vrel::test::RunProgram;
using vrel::test::SettingsTest;
namespace value = vrel::settings_value;

struct NumberGetter {
    std::string_view name;
    std::function<std::int32_t()> get;
    std::int32_t fallback;
    bool flag = false;
};

const NumberGetter kNumberGetters[] = {
    {value::ShowSplashScreen, [] { return vrel::GetShowSplashScreen(); }, 1, true},
    {value::CountConnections, [] { return vrel::GetCountConnections(); }, 0, true},
    {value::CountMessages, [] { return vrel::GetCountMessages(); }, 0, true},
    {value::LoggingEnabled, [] { return vrel::GetLoggingEnabled(); }, 0, true},
    {value::LoginEventLogOption, vrel::GetLoginEventLogOption, 63},
    {value::LogoutEventLogOption, vrel::GetLogoutEventLogOption, 63},
    {value::MessageEventLogOption, vrel::GetMessageEventLogOption, 31},
    {value::UserAuthentication, vrel::GetUserAuthentication, 0},
    {value::UndeliverableMailStatus, vrel::GetUndeliverableMailStatus, 0},
};

void ExpectEveryDefault() {
    for (const NumberGetter& getter : kNumberGetters) {
        EXPECT_EQ(getter.get(), getter.fallback) << getter.name;
    }
    EXPECT_EQ(vrel::GetEmailUsersGroup(), "Users");
    EXPECT_EQ(vrel::GetLogFileLocation(), "C:\\WINDOWS\\system32\\LogFiles");
    EXPECT_EQ(vrel::GetPostMaster(), "");
    EXPECT_EQ(vrel::GetMailInBoxDir(), "C:\\InetPub\\MailRoot\\Users");
}

TEST_F(SettingsTest, MissingOrEmptyKeyGivesEveryDefault) {
    ExpectEveryDefault();
    win::TRegistry registry;
    ASSERT_TRUE(registry.OpenKey(vrel::kSettingsKey, true));
    ExpectEveryDefault();
}

TEST_F(SettingsTest, StoredNumbersAreReadAfreshAtEveryCall) {
    for (const NumberGetter& getter : kNumberGetters) {
        StoreNumber(getter.name, 7);  // a flag is on for any number but 0; a number is as stored
        EXPECT_EQ(getter.get(), getter.flag ? 1 : 7) << getter.name;
        StoreNumber(getter.name, 0);
        EXPECT_EQ(getter.get(), 0) << getter.name;
        StoreNumber(getter.name, -1);
        EXPECT_EQ(getter.get(), getter.flag ? 1 : -1) << getter.name;
    }
}

struct TypeErrorCase {
    std::string_view name;
    win::RegValue stored;
    std::function<void()> get;
    const char* message;
};

TEST_F(SettingsTest, AValueOfAnotherTypeRaisesTheRegistryError) {
    const win::RegValue shortText{win::REG_SZ, {'1'}};
    const win::RegValue longText{win::REG_SZ, {'t', 'r', 'u', 'e', '!'}};
    const win::RegValue dword{win::REG_DWORD, {1, 0, 0, 0}};
    const TypeErrorCase cases[] = {
        {value::CountMessages, shortText, [] { vrel::GetCountMessages(); },
         "Invalid data type for 'CountMessages'"},
        {value::LoginEventLogOption, longText, [] { vrel::GetLoginEventLogOption(); },
         "Failed to get data for 'LoginEventLogOption'"},
        {value::UndeliverableMailStatus,
         {win::REG_BINARY, {2, 0, 0, 0}},
         [] { vrel::GetUndeliverableMailStatus(); },
         "Invalid data type for 'UndeliverableMailStatus'"},
        {value::PostMaster, dword, [] { vrel::GetPostMaster(); },
         "Invalid data type for 'PostMaster'"},
        {value::MailInBoxDir, dword, [] { vrel::GetMailInBoxDir(); },
         "Invalid data type for 'MailInBoxDir'"},
    };
    for (const TypeErrorCase& c : cases) {
        StoreSetting(c.name, c.stored);
        try {
            c.get();
            ADD_FAILURE() << "no error for " << c.name;
        } catch (const win::ERegistryException& error) {
            EXPECT_STREQ(error.what(), c.message);
        }
    }
}

TEST_F(SettingsTest, ExpandTextIsReturnedUnexpanded) {
    StoreSetting(value::LogFileLocation, {win::REG_EXPAND_SZ, {'%', 'T', '%', '\\', 'L'}});
    EXPECT_EQ(vrel::GetLogFileLocation(), "%T%\\L");
}

struct TextDefaultCase {
    const char* what;
    std::optional<std::string> stored;           // the registry value; nothing: absent
    std::optional<vrel::test::Properties> smtp;  // smtpsvc/1 properties; nothing: no SMTP service
    std::string mailInBoxDir;
    std::string postMaster;
};

class TextDefaultTest : public SettingsTest,
                        public ::testing::WithParamInterface<TextDefaultCase> {};

TEST_P(TextDefaultTest, MailInBoxDirAndPostMasterFollowTheSmtpService) {
    const TextDefaultCase& c = GetParam();
    if (c.stored) {
        StoreText(value::MailInBoxDir, *c.stored);
        StoreText(value::PostMaster, *c.stored);
    }
    if (c.smtp) InstallSmtpServer(*c.smtp);
    EXPECT_EQ(vrel::GetMailInBoxDir(), c.mailInBoxDir);
    EXPECT_EQ(vrel::GetPostMaster(), c.postMaster);
}

const char kDefaultBoxes[] = "C:\\InetPub\\MailRoot\\Users";

INSTANTIATE_TEST_SUITE_P(
    Cases, TextDefaultTest,
    ::testing::Values(
        TextDefaultCase{"no SMTP service", std::nullopt, std::nullopt, kDefaultBoxes, ""},
        TextDefaultCase{"SMTP service without values", std::nullopt, vrel::test::Properties{},
                        kDefaultBoxes, ""},
        TextDefaultCase{"drop folder and domain", std::nullopt,
                        vrel::test::Properties{{"DropDirectory", "D:\\Mail\\Drop"},
                                               {"DefaultDomain", "example.com"}},
                        "D:\\Mail\\Users", "administrator@example.com"},
        TextDefaultCase{"drop folder with trailing separator", std::nullopt,
                        vrel::test::Properties{{"DropDirectory", "D:\\Mail\\Drop\\"}},
                        "D:\\Mail\\Drop\\Users", ""},
        TextDefaultCase{"empty drop folder and domain", "",
                        vrel::test::Properties{{"DropDirectory", ""}, {"DefaultDomain", ""}},
                        kDefaultBoxes, ""},
        TextDefaultCase{"drop folder without separator", std::nullopt,
                        vrel::test::Properties{{"DropDirectory", "Drop"}}, kDefaultBoxes, ""},
        TextDefaultCase{"drop folder at the drive root", std::nullopt,
                        vrel::test::Properties{{"DropDirectory", "D:\\"}}, "D:\\Users", ""},
        TextDefaultCase{
            "stored empty counts as absent", "",
            vrel::test::Properties{{"DropDirectory", "E:\\Drop"}, {"DefaultDomain", "mail.test"}},
            "E:\\Users", "administrator@mail.test"},
        TextDefaultCase{
            "stored values win", "F:\\Boxes",
            vrel::test::Properties{{"DropDirectory", "E:\\Drop"}, {"DefaultDomain", "mail.test"}},
            "F:\\Boxes", "F:\\Boxes"}),
    [](const auto& info) {
        std::string name = info.param.what;
        for (char& c : name) {
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        }
        return name;
    });

TEST_F(SettingsTest, EmptyTextsFallBackToTheirDefaults) {
    StoreText(value::LogFileLocation, "");
    StoreText(value::EmailUsersGroup, "");
    EXPECT_EQ(vrel::GetLogFileLocation(), "C:\\WINDOWS\\system32\\LogFiles");
    EXPECT_EQ(vrel::GetEmailUsersGroup(), "Users");
    StoreText(value::LogFileLocation, "D:\\Logs");
    StoreText(value::EmailUsersGroup, "Mail Users");
    EXPECT_EQ(vrel::GetLogFileLocation(), "D:\\Logs");
    EXPECT_EQ(vrel::GetEmailUsersGroup(), "Mail Users");
}

TEST_F(SettingsTest, IncrementCounterStartsAtZeroAndWraps) {
    vrel::IncrementCounter(value::POP3Logons);
    vrel::IncrementCounter(value::POP3Logons);
    StoreNumber(value::SMTPConnections, -1);
    vrel::IncrementCounter(value::SMTPConnections);
    win::TRegistry registry;
    ASSERT_TRUE(registry.OpenKey(vrel::kSettingsKey, false));
    EXPECT_EQ(registry.ReadInteger(value::POP3Logons), 2);
    EXPECT_EQ(registry.ReadInteger(value::SMTPConnections), 0);
}

TEST_F(SettingsTest, IncrementOfACounterStoredAsTextRaisesAndKeepsIt) {
    StoreText(value::MessagesReceived, "5");
    EXPECT_THROW(vrel::IncrementCounter(value::MessagesReceived), win::ERegistryException);
    win::TRegistry registry;
    ASSERT_TRUE(registry.OpenKey(vrel::kSettingsKey, false));
    EXPECT_EQ(registry.ReadString(value::MessagesReceived), "5");
}

// The administrator's tools write what the getters read.
TEST_F(SettingsTest, WinhostRegWritesWhatTheGetterReads) {
    const std::string key = "\"HKLM\\Software\\Tavimere\\POP3 Server\" /v LoggingEnabled";
    ASSERT_EQ(RunProgram("winhost", "reg add " + key + " /t REG_DWORD /d 2").exitCode, 0);
    EXPECT_TRUE(vrel::GetLoggingEnabled());
    ASSERT_EQ(RunProgram("winhost", "reg add " + key + " /t REG_SZ /d 2 /f").exitCode, 0);
    EXPECT_THROW(
        try { vrel::GetLoggingEnabled(); } catch (const win::ERegistryException& error) {
            EXPECT_STREQ(error.what(), "Invalid data type for 'LoggingEnabled'");
            throw;
        },
        win::ERegistryException);
}

TEST_F(SettingsTest, WinhostMbDropDirectoryMovesTheMailboxRoot) {
    ASSERT_EQ(RunProgram("winhost", "mb create smtpsvc IIsSmtpService").exitCode, 0);
    ASSERT_EQ(RunProgram("winhost", "mb create smtpsvc/1 IIsSmtpServer").exitCode, 0);
    ASSERT_EQ(RunProgram("winhost", "mb set smtpsvc/1 DropDirectory \"D:\\Mail\\Drop\"").exitCode,
              0);
    EXPECT_EQ(vrel::GetMailInBoxDir(), "D:\\Mail\\Users");
}

}  // namespace
