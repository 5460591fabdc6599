// The message list: reading numbers from client arguments, and building the list from the
// files of a mailbox folder.
#include "service/message_list.h"

#include <gtest/gtest.h>

#include <map>
#include <utility>
#include <vector>

#include "folder_reads.h"
#include "mailbox_fixture.h"
#include "service/mailbox_lock.h"

namespace {

using vrel::MsgRecord;
using vrel::ScanDecimal;
using vrel::TMyServerThread;

struct NumberCase {
    const char* text;
    std::optional<std::int64_t> value;
    const char* rest;  // what is left after the number
};

class ScanDecimalTest : public testing::TestWithParam<NumberCase> {};

TEST_P(ScanDecimalTest, ReadsAsTheRuntimeScannerDoes) {
    std::string_view text = GetParam().text;
    EXPECT_EQ(ScanDecimal(text), GetParam().value);
    EXPECT_EQ(text, GetParam().rest);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Texts, ScanDecimalTest, testing::Values(
    NumberCase{"7", 7, ""},
    NumberCase{"  \t12 5", 12, " 5"},
    NumberCase{"+3x", 3, "x"},
    NumberCase{"-4", -4, ""},
    NumberCase{"0", 0, ""},
    NumberCase{"abc", std::nullopt, "abc"},
    NumberCase{"", std::nullopt, ""},
    NumberCase{"-", std::nullopt, "-"},
    NumberCase{"- 1", std::nullopt, "- 1"},
    NumberCase{"4294967297", 4294967297, ""},
    NumberCase{"99999999999999999999999999", std::int64_t{1} << 40, ""}));
// clang-format on

TEST(MessageNumberTest, WithoutDigitsTheNumberIsZeroAndNamesNoMessage) {
    vrel::MessageList list(2);
    EXPECT_EQ(vrel::MessageNumber("x1"), 0);
    EXPECT_EQ(vrel::MessageNumber(" 2 junk"), 2);
    EXPECT_EQ(vrel::MessageAt(list, 0), nullptr);
    EXPECT_EQ(vrel::MessageAt(list, 1), &list[0]);
    EXPECT_EQ(vrel::MessageAt(list, 2), &list[1]);
    EXPECT_EQ(vrel::MessageAt(list, 3), nullptr);
    EXPECT_EQ(vrel::MessageAt(list, 4294967297), nullptr);
}

class GetMessagesTest : public vrel::test::MailboxTest {};

TEST_F(GetMessagesTest, OneRecordPerMessageFileInSearchOrder) {
    Store("261209101010001000000001.eml", "12345");
    Store("a.b.eml", "123");
    Store("LockFile.$$$", "");
    Store("notes.txt", "x");
    std::filesystem::create_directories(Host("folder.eml"));
    octets_ = 0;
    EXPECT_EQ(TMyServerThread::GetMessages("C:\\mail\\BOB\\", list_, octets_), 3);

    std::map<std::string, MsgRecord> byUid;
    for (std::size_t i = 0; i < list_.size(); ++i) {
        EXPECT_EQ(list_[i].number, static_cast<std::int32_t>(i + 1));
        EXPECT_FALSE(list_[i].deleted);
        byUid[list_[i].uid] = list_[i];
    }
    ASSERT_EQ(byUid.size(), 3u);
    EXPECT_EQ(byUid["261209101010001000000001"].size, 5);
    EXPECT_EQ(byUid["261209101010001000000001"].path,
              "C:\\mail\\BOB\\261209101010001000000001.eml");
    EXPECT_EQ(byUid["a.b"].size, 3);  // the unique id keeps every dot but the last
    EXPECT_EQ(byUid["a.b"].path, "C:\\mail\\BOB\\a.b.eml");
    EXPECT_TRUE(byUid.count("folder"));  // the search takes every kind of entry
    EXPECT_EQ(octets_, 8 + byUid["folder"].size);
}

TEST_F(GetMessagesTest, FolderWithoutTrailingSeparatorGivesTheSamePaths) {
    Store("m.eml", "x");
    Build();
    ASSERT_EQ(list_.size(), 1u);
    EXPECT_EQ(list_[0].path, "C:\\Mail\\bob\\m.eml");
}

TEST_F(GetMessagesTest, AFileBeyondThe32BitSizesIsLeftOut) {
    Store("huge.eml", "");
    std::filesystem::resize_file(Host("huge.eml"), std::uintmax_t{1} << 31);  // sparse
    Store("small.eml", "x");
    Build();
    ASSERT_EQ(list_.size(), 1u);
    EXPECT_EQ(list_[0].uid, "small");
    EXPECT_EQ(octets_, 1);
}

TEST_F(GetMessagesTest, EmptyOrMissingFolderGivesNoRecords) {
    EXPECT_EQ(TMyServerThread::GetMessages("C:\\Mail\\nobody", list_, octets_), 0);
    std::filesystem::create_directories(Host(""));
    EXPECT_EQ(TMyServerThread::GetMessages(kFolder, list_, octets_), 0);
    EXPECT_EQ(octets_, 0);
}

// The list of a later session in the same process, after another process changed the
// mailbox between the sessions: it is the list a fresh search gives.
struct BetweenSessions {
    const char* name;
    const char* change;                               // a shell command in C:\Mail
    std::vector<std::pair<std::string, int>> listed;  // uid and size, in list order
};

void PrintTo(const BetweenSessions& c, std::ostream* os) {
    *os << c.name;
}

class LaterSessionTest : public vrel::test::MailboxTest,
                         public testing::WithParamInterface<BetweenSessions> {};

TEST_P(LaterSessionTest, ListsTheFolderAsItIsNow) {
    Store("m1.eml", "1");
    Store("m2.eml", "22");
    Build();
    ASSERT_EQ(list_.size(), 2u);
    vrel::test::Shell(machine_.DriveC() / "Mail", GetParam().change);

    list_.clear();
    octets_ = 0;
    Build();
    std::vector<std::pair<std::string, int>> listed;
    std::int64_t octets = 0;
    for (const MsgRecord& record : list_) {
        listed.emplace_back(record.uid, record.size);
        octets += record.size;
    }
    EXPECT_EQ(listed, GetParam().listed);
    EXPECT_EQ(octets_, octets);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Changes, LaterSessionTest, testing::Values(
    BetweenSessions{"FileAdded", "printf 333 > bob/m3.eml", {{"m1", 1}, {"m2", 2}, {"m3", 3}}},
    BetweenSessions{"FileRemoved", "rm bob/m1.eml", {{"m2", 2}}},
    BetweenSessions{"FileRenamed", "mv bob/m1.eml bob/m0.eml", {{"m0", 1}, {"m2", 2}}},
    BetweenSessions{"FileGrown", "printf 4444 >> bob/m1.eml", {{"m1", 5}, {"m2", 2}}},
    BetweenSessions{"FolderReplaced", "mv bob old && mkdir bob && printf 55555 > bob/m5.eml",
                    {{"m5", 5}}},
    BetweenSessions{"OnlyTheLockFileCameAndWent", "touch bob/LockFile.\\$\\$\\$ && rm bob/L*",
                    {{"m1", 1}, {"m2", 2}}}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// Taking the lock file looks its name up under the folder's lock, without the cache; the
// count starts after it.
TEST_F(GetMessagesTest, ALaterSessionOfAnUnchangedMailboxDoesNotSearchItsFolder) {
    Store("m1.eml", "1");
    Store("m2.eml", "22");
    vrel::test::FolderReads reads(Host(""));
    {
        const vrel::MailboxLock lock(kFolder);
        reads.Take();
        Build();
        EXPECT_GE(reads.Take(), 1);
    }
    const vrel::MessageList first = std::exchange(list_, {});

    const vrel::MailboxLock lock(kFolder);
    reads.Take();
    octets_ = 0;
    Build();
    EXPECT_EQ(reads.Take(), 0);
    ASSERT_EQ(list_.size(), first.size());
    for (std::size_t i = 0; i < first.size(); ++i) {
        EXPECT_EQ(list_[i].number, first[i].number);
        EXPECT_EQ(list_[i].uid, first[i].uid);
        EXPECT_EQ(list_[i].size, first[i].size);
        EXPECT_EQ(list_[i].path, first[i].path);
    }
    EXPECT_EQ(octets_, 3);
}

}  // namespace
