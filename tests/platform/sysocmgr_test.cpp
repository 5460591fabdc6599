// sysocmgr and winhost seo through the programs themselves: the SMTP component switched on
// and off by an answer file, and the arrival bindings administered by hand.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "loopback.h"
#include "platform/fs.h"
#include "platform/metabase.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/scm.h"
#include "platform/seo.h"
#include "test_services.h"

namespace {

using namespace win;
using vrel::test::RunProgram;
namespace fs = std::filesystem;

constexpr const char* kInf = "C:\\WINDOWS\\inf\\sysoc.inf";
constexpr const char* kAnswerFile = "C:\\WINDOWS\\temp\\TMP0.$$$";
constexpr const char* kMailFolders[] = {"Drop", "Badmail", "Pickup", "Queue"};

class SysocmgrTest : public vrel::test::ServiceTest {
  protected:
    void SetUp() override {
        TRegistry registry;
        registry.OpenKey("\\SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName", true);
        registry.WriteString("ComputerName", "MAILHOST01");
    }

    // Runs the program the machine's system32 holds, as the settings program starts it.
    static int Sysocmgr(const std::string& inf, const std::string& answerFile) {
        const fs::path program = ToHostPath("C:\\WINDOWS\\system32\\sysocmgr.exe");
        return RunProgram(program.string(), "'/i:" + inf + "' '/u:" + answerFile + "'").exitCode;
    }

    static int SetSmtp(const char* state) {
        EXPECT_TRUE(WriteWholeFile(
            kAnswerFile, std::string("[Components]\r\n\r\niis_smtp = ") + state + "\r\n"));
        return Sysocmgr(kInf, kAnswerFile);
    }

    static std::string Property(const std::string& path, const char* name) {
        std::shared_ptr<IIsObject> node;
        VARIANT value;
        if (ADsGetObject("IIS://localhost/" + path, node) != S_OK) return "<no node>";
        if (node->Get(name, value) != S_OK) return "<unset>";
        return VariantToText(value).value_or("<binary>");
    }

    static bool ServiceExists() {
        const SC_HANDLE manager = OpenSCManager(nullptr, nullptr, SC_MANAGER_CONNECT);
        return static_cast<bool>(OpenService(manager, "SMTPSVC", SERVICE_QUERY_CONFIG));
    }

    static bool SeoRegistered() {
        CoInitialize();
        std::shared_ptr<IEventManager> manager;
        const HRESULT hr = CoCreateInstance(CLSID_CEventManager, CLSCTX_INPROC_SERVER, manager);
        CoUninitialize();
        return hr == S_OK;
    }

    static std::string Seo(const std::string& arguments) {
        const auto result = RunProgram("winhost", "seo " + arguments);
        return std::to_string(result.exitCode) + ":" + result.output;
    }
};

TEST_F(SysocmgrTest, StandInProgramsAreLinkedIntoTheMachine) {
    EXPECT_TRUE(fs::equivalent(ToHostPath("C:\\WINDOWS\\system32\\sysocmgr.exe"),
                               vrel::test::BinFolder() / "sysocmgr"));
    const fs::path smtpsvc = ToHostPath("C:\\WINDOWS\\system32\\inetsrv\\smtpsvc.exe");
    ASSERT_TRUE(fs::is_symlink(fs::symlink_status(smtpsvc))) << smtpsvc;
    EXPECT_TRUE(fs::equivalent(fs::read_symlink(smtpsvc).parent_path(), vrel::test::BinFolder()));
}

TEST_F(SysocmgrTest, OnInstallsServiceMetabaseMailFoldersAndSeo) {
    ASSERT_EQ(SetSmtp("on"), 0);
    const SC_HANDLE manager = OpenSCManager(nullptr, nullptr, SC_MANAGER_CONNECT);
    QUERY_SERVICE_CONFIG config;
    ASSERT_TRUE(QueryServiceConfig(OpenService(manager, "SMTPSVC", SERVICE_QUERY_CONFIG), config));
    EXPECT_EQ(config.lpDisplayName, "Simple Mail Transfer Protocol (SMTP)");
    EXPECT_EQ(config.dwServiceType, SERVICE_WIN32_OWN_PROCESS);
    EXPECT_EQ(config.dwStartType, SERVICE_AUTO_START);
    EXPECT_EQ(config.lpBinaryPathName, "C:\\WINDOWS\\system32\\inetsrv\\smtpsvc.exe");

    std::shared_ptr<IIsObject> node;
    ASSERT_EQ(ADsGetObject("IIS://localhost/smtpsvc", node), S_OK);
    EXPECT_EQ(node->Class(), "IIsSmtpService");
    ASSERT_EQ(ADsGetObject("IIS://localhost/smtpsvc/1", node), S_OK);
    EXPECT_EQ(node->Class(), "IIsSmtpServer");
    EXPECT_EQ(Property("smtpsvc/1", "DefaultDomain"), "mailhost01");
    EXPECT_EQ(Property("smtpsvc/1", "DropDirectory"), "C:\\Inetpub\\mailroot\\Drop");
    EXPECT_EQ(Property("smtpsvc/1", "BadMailDirectory"), "C:\\Inetpub\\mailroot\\Badmail");
    EXPECT_EQ(Property("smtpsvc/1", "PickupDirectory"), "C:\\Inetpub\\mailroot\\Pickup");
    EXPECT_EQ(Property("smtpsvc/1", "QueueDirectory"), "C:\\Inetpub\\mailroot\\Queue");
    EXPECT_EQ(Property("smtpsvc/1", "SendNdrTo"), "<unset>");
    ASSERT_EQ(ADsGetObject("IIS://localhost/smtpsvc/1/Domain/MAILHOST01", node), S_OK);
    EXPECT_EQ(node->Class(), "IIsSmtpDomain");
    EXPECT_EQ(node->Name(), "mailhost01");
    EXPECT_EQ(Property("smtpsvc/1/Domain/mailhost01", "RouteAction"), "0");

    for (const char* folder : kMailFolders) {
        EXPECT_TRUE(DirectoryExists(std::string("C:\\Inetpub\\mailroot\\") + folder)) << folder;
    }
    EXPECT_TRUE(SeoRegistered());
    EXPECT_EQ(Seo("list"), "0:");
}

TEST_F(SysocmgrTest, OnAgainKeepsWhatExists) {
    ASSERT_EQ(SetSmtp("on"), 0);
    ASSERT_EQ(RunProgram("winhost", "mb set smtpsvc/1 DefaultDomain example.test").exitCode, 0);
    ASSERT_EQ(Seo("add Kept.Sink /name:Kept /id:{00000000-0000-0000-0000-00000000000A}"),
              "0:{00000000-0000-0000-0000-00000000000A}\n");
    EXPECT_EQ(SetSmtp("on"), 0);
    EXPECT_EQ(Property("smtpsvc/1", "DefaultDomain"), "example.test");
    EXPECT_EQ(RunProgram("winhost", "mb enum smtpsvc/1/Domain").output,
              "KeyType                         : (STRING) \"IIsSmtpDomain\"\n"
              "[/smtpsvc/1/Domain/mailhost01]\n");
    EXPECT_EQ(ListArrivalBindings().size(), 1u);
}

TEST_F(SysocmgrTest, OffRemovesAllButTheMailFolders) {
    ASSERT_EQ(SetSmtp("on"), 0);
    ASSERT_EQ(Seo("add Gone.Sink /name:Gone").front(), '0');
    EXPECT_EQ(SetSmtp("off"), 0);
    EXPECT_FALSE(ServiceExists());
    std::shared_ptr<IIsObject> node;
    EXPECT_EQ(ADsGetObject("IIS://localhost/smtpsvc", node), E_PATH_NOT_FOUND);
    EXPECT_FALSE(SeoRegistered());
    EXPECT_TRUE(ListArrivalBindings().empty());
    for (const char* folder : kMailFolders) {
        EXPECT_TRUE(DirectoryExists(std::string("C:\\Inetpub\\mailroot\\") + folder)) << folder;
    }
    EXPECT_EQ(SetSmtp("off"), 0) << "removing what is not there is no failure";
    ASSERT_EQ(SetSmtp("on"), 0);
    EXPECT_TRUE(ListArrivalBindings().empty()) << "the bindings went with the registration";
}

TEST_F(SysocmgrTest, OnReturnsOnceTheServiceRuns) {
    std::ofstream(ToHostPath(GetSystemDirectory() + "\\drivers\\etc\\services"))
        << "smtp " << vrel::test::FreePort() << "/tcp mail\n";
    ASSERT_EQ(SetSmtp("on"), 0);
    EXPECT_EQ(vrel::test::ServiceState("SMTPSVC"), SERVICE_RUNNING)
        << "read at once, with no wait of our own";
}

// An SMTPSVC that is already there keeps its image: here a test service that misbehaves. A
// refused start ends the wait on the machine's own clock, however slow the start; a start
// that never ends runs it out on a clock 20 times as fast (30000 ms in 1.5 s). The bound,
// well under an unscaled 30 s, leaves a loaded machine room to start the programs.
TEST_F(SysocmgrTest, OnReturnsOnceTheStartFailedOrTheWaitGaveUp) {
    const struct {
        const char* options;
        const char* scale;
        DWORD state;
    } cases[] = {
        {"-start:refuse", "1", SERVICE_STOPPED},
        {"-waithint:0 -startdelay:forever", "20", SERVICE_START_PENDING},
    };
    for (const auto& [options, scale, state] : cases) {
        ::setenv("VREL_CLOCK_SCALE", scale, 1);
        ASSERT_TRUE(vrel::test::CreateTestService("SMTPSVC", options, "Test"));
        const auto before = std::chrono::steady_clock::now();
        EXPECT_EQ(SetSmtp("on"), 0) << options;
        EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(15)) << options;
        EXPECT_EQ(vrel::test::ServiceState("SMTPSVC"), state) << options;
        vrel::test::StopAllServices();
        const SC_HANDLE manager = OpenSCManager(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        DeleteService(OpenService(manager, "SMTPSVC", SERVICE_ALL_ACCESS));
    }
    ::unsetenv("VREL_CLOCK_SCALE");
}

TEST_F(SysocmgrTest, MissingFilesChangeNothing) {
    ASSERT_TRUE(WriteWholeFile(kAnswerFile, "[Components]\r\n\r\niis_smtp = on\r\n"));
    const std::pair<std::string, std::string> cases[] = {
        {"C:\\WINDOWS\\inf\\missing.inf", kAnswerFile},
        {"", kAnswerFile},
        {kInf, "C:\\WINDOWS\\temp\\missing.$$$"},
    };
    for (const auto& [inf, answers] : cases) {
        EXPECT_EQ(Sysocmgr(inf, answers), 1) << inf << " " << answers;
    }
    EXPECT_FALSE(ServiceExists());
    std::shared_ptr<IIsObject> node;
    EXPECT_EQ(ADsGetObject("IIS://localhost/smtpsvc", node), E_PATH_NOT_FOUND);
    EXPECT_FALSE(SeoRegistered());
    EXPECT_FALSE(DirectoryExists("C:\\Inetpub"));
}

TEST_F(SysocmgrTest, WinhostSeoAddsListsAndRemovesArrivalBindings) {
    EXPECT_EQ(Seo("list").substr(0, 2), "1:") << "no SMTP component yet";
    ASSERT_EQ(SetSmtp("on"), 0);
    const std::string first = "{00000000-0000-0000-0000-000000000001}";
    EXPECT_EQ(Seo("add First.Sink '/name:First sink' /id:" + first), "0:" + first + "\n");
    const std::string generated = Seo("add Second.Sink /name:Second /priority:100");
    ASSERT_EQ(generated.size(), 2 + 38 + 1) << generated;
    const std::string second = generated.substr(2, 38);
    EXPECT_EQ(Seo("list"), "0:" + second + "\tSecond.Sink\tSecond\t100\n" + first +
                               "\tFirst.Sink\tFirst sink\t24000\n");
    EXPECT_EQ(Seo("add Again.Sink /name:Again /id:" + first).substr(0, 2), "1:");
    EXPECT_EQ(Seo("add No.Name").substr(0, 2), "2:");
    EXPECT_EQ(Seo("add Bad.Priority /name:x /priority:high").substr(0, 2), "2:");
    EXPECT_EQ(Seo("remove " + second), "0:");
    EXPECT_EQ(Seo("remove " + second).substr(0, 2), "1:");
    EXPECT_EQ(Seo("list"), "0:" + first + "\tFirst.Sink\tFirst sink\t24000\n");
}

}  // namespace
