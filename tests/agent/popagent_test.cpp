// The popagent program as its callers meet it: registration switches, a start by hand, and
// the COM server that the SMTP service activates and calls for each arriving message.
//
// The program runs as a real process, installed under "C:\Program Files\Vrel POP3" of the
// test's machine (a copy of the built program), so its module path holds blanks.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "agent/agent_registration.h"
#include "agent/start_form_module.h"
#include "agent_fixture.h"
#include "platform/cdo_wire.h"
#include "platform/com.h"
#include "store/machine.h"
#include "test_services.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using vrel::CLSID_MessageAgent;
using vrel::test::EndsWithin;

constexpr const char* kInstallFolder = "C:\\Program Files\\Vrel POP3";
constexpr const char* kClsidKey = "\\CLSID\\{89DDE9CE-5757-4855-BF80-4417F3214F72}";
constexpr const char* kProgIdKey = "\\vrelPOP3Service.MessageAgent";
constexpr const char* kTypeLibKey = "\\TypeLib\\{2AF1AFF7-1190-4F4E-B1ED-D4148B9BBC85}";

std::optional<std::string> ClassesRootText(const std::string& key, std::string_view name = "") {
    win::TRegistry registry;
    registry.RootKey = win::HKEY_CLASSES_ROOT;
    if (!registry.OpenKeyReadOnly(key) || !registry.ValueExists(name)) return std::nullopt;
    return registry.ReadString(name);
}

bool ClassesRootKeyExists(const std::string& key) {
    win::TRegistry registry;
    registry.RootKey = win::HKEY_CLASSES_ROOT;
    return registry.KeyExists(key);
}

class PopagentTest : public vrel::test::ArrivalTest {
  protected:
    void SetUp() override {
        ArrivalTest::SetUp();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) ::unsetenv(name);
        win::CoInitialize();
        win::TRegistry registry;
        ASSERT_TRUE(registry.OpenKey("\\SYSTEM\\CurrentControlSet\\Control\\VrelMachine", true));
        registry.WriteInteger("ComActivationTimeout", 20000);
        fs::create_directories(win::ToHostPath(kInstallFolder));
        fs::copy_file(vrel::test::BinFolder() / "popagent", Installed());
        fs::copy_file(vrel::test::BinFolder() / vrel::kStartFormModule,
                      Installed().parent_path() / vrel::kStartFormModule);
    }

    // Ends every agent of this machine and fails on a sanitizer report in their logs.
    void TearDown() override {
        vrel::test::KillAgentsOfThisMachine();
        if (handStarted_ > 0) ::waitpid(handStarted_, nullptr, 0);
        EXPECT_EQ(vrel::test::SanitizerReports(), "");
        win::CoUninitialize();
        ArrivalTest::TearDown();
    }

    static fs::path Installed() { return win::ToHostPath(kInstallFolder) / "popagent"; }

    static vrel::test::RunResult Run(const std::string& arguments) {
        return vrel::test::RunProgram(Installed().string(), arguments);
    }

    static pid_t OnlyAgent() {
        const std::vector<pid_t> pids = vrel::test::AgentsOfThisMachine();
        EXPECT_EQ(pids.size(), 1u);
        return pids.empty() ? 0 : pids.front();
    }

    // Whether the process has Qt's widgets library mapped.
    static bool MapsQt(pid_t pid) {
        std::stringstream maps;
        maps << std::ifstream("/proc/" + std::to_string(pid) + "/maps").rdbuf();
        return maps.str().find("libQt6Widgets") != std::string::npos;
    }

    static std::unique_ptr<win::ComProxy> Activate() {
        std::unique_ptr<win::ComProxy> sink;
        EXPECT_EQ(win::CoCreateInstance(CLSID_MessageAgent, win::CLSCTX_LOCAL_SERVER,
                                        win::IID_ISMTPOnArrival, sink),
                  win::S_OK);
        return sink;
    }

    // A message in the queue folder, as the SMTP service hands it to its sinks.
    static std::string QueueMessage() {
        const std::string file = std::string(kQueue) + "\\queued.eml";
        std::ofstream(win::ToHostPath(file), std::ios::binary) << kContent;
        return file;
    }

    // The file that stands for the agent's class object in the machine's table.
    static fs::path ClassObjectFile() {
        return win::RunFolder() / "com" / (win::StringFromGUID2(CLSID_MessageAgent) + ".sock");
    }

    // Starts the installed program with the switch (none when null), its standard error on
    // /dev/null; a start by hand gets an off-screen display.
    static pid_t Spawn(const char* switchText) {
        const std::string program = Installed().string();
        const pid_t pid = ::fork();
        if (pid == 0) {
            if (!switchText) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, STDERR_FILENO);
            ::execl(program.c_str(), "popagent", switchText, nullptr);
            ::_exit(127);
        }
        return pid;
    }

    // Starts the installed program by hand and waits until its class object is registered.
    void StartByHand() {
        handStarted_ = Spawn(nullptr);
        const fs::path registered = ClassObjectFile();
        for (int i = 0; i < 1000 && !fs::exists(registered); ++i) std::this_thread::sleep_for(10ms);
        ASSERT_TRUE(fs::exists(registered));
    }

    pid_t handStarted_ = 0;
};

TEST_F(PopagentTest, RegServerWritesTheClassEntriesWithTheShortPath) {
    for (const char* regserver : {"/regserver", "-REGSERVER", "/RegServer"}) {
        const vrel::test::RunResult result = Run(std::string("first ") + regserver);
        EXPECT_EQ(result.exitCode, 0) << regserver;
        EXPECT_EQ(result.output, "") << regserver;
    }
    // "popagent.exe" is a valid 8.3 name and so its own short form.
    const std::string clsid = kClsidKey;
    const std::pair<std::string, std::string> expected[] = {
        {clsid, "Message Agent for POP3 Server"},
        {clsid + "\\LocalServer32", "C:\\PROGRA~1\\VRELPO~1\\popagent.exe /Automation"},
        {kProgIdKey, "Message Agent for POP3 Server"},
        {std::string(kProgIdKey) + "\\CLSID", "{89DDE9CE-5757-4855-BF80-4417F3214F72}"},
        {clsid + "\\ProgID", "vrelPOP3Service.MessageAgent"},
        {clsid + "\\Version", "1.0"},
        {clsid + "\\Typelib", "{2AF1AFF7-1190-4F4E-B1ED-D4148B9BBC85}"},
        {std::string(kTypeLibKey) + "\\1.0", "Message Agents for POP3 Library"},
        {std::string(kTypeLibKey) + "\\1.0\\0\\win32",
         "C:\\Program Files\\Vrel POP3\\popagent.exe"},
    };
    for (const auto& [key, value] : expected) EXPECT_EQ(ClassesRootText(key), value) << key;
    EXPECT_EQ(ClassesRootText(clsid + "\\LocalServer32", "ThreadingModel"), "Apartment");
    EXPECT_TRUE(vrel::test::AgentsOfThisMachine().empty());
}

TEST_F(PopagentTest, LongPathStaysWhenItHoldsNoBlank) {
    EXPECT_EQ(vrel::LocalServerCommand("C:\\Vrel\\popagent.exe"),
              "C:\\Vrel\\popagent.exe /Automation");
}

TEST_F(PopagentTest, UnregServerRemovesTheEntriesAndTheTypeLibrary) {
    ASSERT_EQ(Run("/regserver").exitCode, 0);
    ASSERT_TRUE(ClassesRootKeyExists(kTypeLibKey));
    const vrel::test::RunResult result = Run("-UNREGSERVER");
    EXPECT_EQ(result.exitCode, 0);
    for (const char* key : {kClsidKey, kProgIdKey, kTypeLibKey}) {
        EXPECT_FALSE(ClassesRootKeyExists(key)) << key;
    }
    EXPECT_EQ(Run("/unregserver").exitCode, 0);  // nothing left to remove
}

TEST_F(PopagentTest, HandStartWithoutDisplayRegistersPrintsTheFormAndEnds) {
    const vrel::test::RunResult result = Run("");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.output, "Initialize Message Agent\nMessage Agent is installed.\n");
    EXPECT_EQ(ClassesRootText(std::string(kClsidKey) + "\\LocalServer32"),
              "C:\\PROGRA~1\\VRELPO~1\\popagent.exe /Automation");
    EXPECT_TRUE(vrel::test::AgentsOfThisMachine().empty());
}

TEST_F(PopagentTest, ComStartedAgentServesArrivalsAndEndsAfterTheLastRelease) {
    ASSERT_EQ(Run("/regserver").exitCode, 0);
    auto sink = Activate();
    ASSERT_TRUE(sink);
    const pid_t pid = OnlyAgent();
    EXPECT_FALSE(MapsQt(pid)) << "an agent started by COM shows no window";

    win::Envelope envelope = win::MakeSmtpEnvelope("SMTP:alice@mail.test;SMTP:far@remote.test;",
                                                   "sender@remote.test", "10.0.0.5");
    std::int32_t eventStatus = 7;
    ASSERT_EQ(win::CallOnArrival(*sink, QueueMessage(), envelope, eventStatus), win::S_OK);
    EXPECT_EQ(eventStatus, win::cdoRunNextSink);
    win::Envelope expected =
        win::MakeSmtpEnvelope("SMTP:far@remote.test;", "sender@remote.test", "10.0.0.5");
    expected.Find("recipientlist")->updated = true;
    expected.Find("messagestatus")->updated = true;
    EXPECT_EQ(envelope, expected);
    EXPECT_EQ(EmlFiles("C:\\Mail\\alice").size(), 1u);
    EXPECT_EQ(Counter("MessagesDelivered"), 1);

    // A second client of the same server; the process lives while either holds its object.
    auto second = Activate();
    ASSERT_TRUE(second);
    EXPECT_EQ(OnlyAgent(), pid);
    win::Envelope local = win::MakeSmtpEnvelope("SMTP:Bob@mail.test;", "s@remote.test", "");
    eventStatus = win::cdoRunNextSink;
    ASSERT_EQ(win::CallOnArrival(*second, QueueMessage(), local, eventStatus), win::S_OK);
    EXPECT_EQ(eventStatus, win::cdoSkipRemainingSinks);
    EXPECT_EQ(local.Find("messagestatus")->value, win::VARIANT(win::cdoStatAbortDelivery));
    sink.reset();
    EXPECT_FALSE(EndsWithin(pid, 300ms));
    second.reset();
    EXPECT_TRUE(EndsWithin(pid, 10s));

    // The next arrival starts the agent again.
    sink = Activate();
    ASSERT_TRUE(sink);
    EXPECT_NE(OnlyAgent(), pid);
    envelope = win::MakeSmtpEnvelope("SMTP:alice@mail.test;", "s@remote.test", "");
    ASSERT_EQ(win::CallOnArrival(*sink, QueueMessage(), envelope, eventStatus), win::S_OK);
    EXPECT_EQ(EmlFiles("C:\\Mail\\alice").size(), 2u);
}

// A server that COM started must not outlive the client that waited for it: whether its
// class object never got into the machine's table, or nobody came for an object in time.
TEST_F(PopagentTest, AComStartedAgentThatNobodyCanUseEnds) {
    win::TRegistry registry;
    ASSERT_TRUE(registry.OpenKey("\\SYSTEM\\CurrentControlSet\\Control\\VrelMachine", true));
    registry.WriteInteger("ComActivationTimeout", 300);
    // Its exit code when it ends on its own within a while; -1 when it had to be killed.
    const auto exitCode = [](pid_t pid) {
        const bool ended = EndsWithin(pid, 10s);
        if (!ended) ::kill(pid, SIGKILL);
        int status = -1;
        ::waitpid(pid, &status, 0);
        return ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };

    EXPECT_EQ(exitCode(Spawn("/Automation")), 0);
    EXPECT_FALSE(fs::exists(ClassObjectFile()));

    // The table's folder is a file: no class object can be registered.
    fs::remove_all(win::RunFolder() / "com");
    std::ofstream(win::RunFolder() / "com") << "not a folder";
    for (const char* switchText : {"/Automation", "-Embedding"}) {
        EXPECT_EQ(exitCode(Spawn(switchText)), 1) << switchText;
    }
}

TEST_F(PopagentTest, ExceptionInTheSinkReachesTheCallerAsErrorInformation) {
    ASSERT_EQ(Run("/regserver").exitCode, 0);
    StoreText("MessagesDelivered", "many");
    auto sink = Activate();
    ASSERT_TRUE(sink);
    const win::Envelope before = win::MakeSmtpEnvelope("SMTP:far@remote.test;SMTP:alice@mail.test;",
                                                       "sender@remote.test", "10.0.0.5");
    win::Envelope envelope = before;
    std::int32_t eventStatus = 7;
    EXPECT_EQ(win::CallOnArrival(*sink, QueueMessage(), envelope, eventStatus),
              win::DISP_E_EXCEPTION);
    std::optional<win::ErrorInfo> info;
    ASSERT_EQ(win::GetErrorInfo(info), win::S_OK);
    EXPECT_EQ(info, (win::ErrorInfo{"vrelPOP3Service.MessageAgent",
                                    "Invalid data type for 'MessagesDelivered'",
                                    win::IID_ISMTPOnArrival}));
    EXPECT_EQ(eventStatus, 7);
    EXPECT_EQ(envelope, before);
    // The agent goes on serving.
    StoreNumber("MessagesDelivered", 0);
    EXPECT_EQ(win::CallOnArrival(*sink, QueueMessage(), envelope, eventStatus), win::S_OK);
    EXPECT_EQ(EmlFiles("C:\\Mail\\alice").size(), 1u);
}

TEST_F(PopagentTest, HandStartedAgentServesCallsAndKeepsRunning) {
    ASSERT_NO_FATAL_FAILURE(StartByHand());
    EXPECT_EQ(ClassesRootText(std::string(kClsidKey) + "\\LocalServer32"),
              "C:\\PROGRA~1\\VRELPO~1\\popagent.exe /Automation");
    // The class object is registered before the window's library loads.
    for (int i = 0; i < 3000 && !MapsQt(handStarted_); ++i) std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(MapsQt(handStarted_));
    auto sink = Activate();
    ASSERT_TRUE(sink);
    EXPECT_EQ(OnlyAgent(), handStarted_);
    win::Envelope envelope = win::MakeSmtpEnvelope("SMTP:alice@mail.test;", "s@remote.test", "");
    std::int32_t eventStatus = win::cdoRunNextSink;
    ASSERT_EQ(win::CallOnArrival(*sink, QueueMessage(), envelope, eventStatus), win::S_OK);
    EXPECT_EQ(eventStatus, win::cdoSkipRemainingSinks);
    EXPECT_EQ(EmlFiles("C:\\Mail\\alice").size(), 1u);
    sink.reset();
    EXPECT_FALSE(EndsWithin(handStarted_, 300ms));
}

}  // namespace
