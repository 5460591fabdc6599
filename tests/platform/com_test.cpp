// The machine's COM: GUID texts, class registration in HKCR, in-process classes, and local
// servers driven end to end through the test server program (activation, reuse, the
// message loop's one-at-a-time calls, lifetime, failures and time-outs, error info), and
// type library registration.
#include "platform/com.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <future>
#include <latch>
#include <sstream>
#include <thread>

#include "com_test_server.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "platform/typelib.h"
#include "store/machine.h"
#include "test_machine.h"
#include "test_services.h"

namespace {

namespace fs = std::filesystem;
using namespace win;
using vrel::test::CLSID_ComTestServer;
using vrel::test::EndsWithin;
using vrel::test::IID_IComTest;
using vrel::test::MachineTest;
using Clock = std::chrono::steady_clock;

fs::path ServerProgram() {
    return fs::read_symlink("/proc/self/exe").parent_path() / "com_test_server";
}

void WriteClassKey(const CLSID& clsid, const std::string& serverKey, const std::string& value) {
    TRegistry registry;
    registry.RootKey = HKEY_CLASSES_ROOT;
    ASSERT_TRUE(registry.OpenKey("\\CLSID\\" + StringFromGUID2(clsid) + "\\" + serverKey, true));
    registry.WriteString("", value);
}

void SetKnob(const char* name, int value) {
    TRegistry registry;
    ASSERT_TRUE(registry.OpenKey("\\SYSTEM\\CurrentControlSet\\Control\\VrelMachine", true));
    registry.WriteInteger(name, value);
}

class ComTest : public MachineTest {
  protected:
    void SetUp() override {
        CoInitialize();
        SetKnob("ComActivationTimeout", 20000);
    }

    // Stops every server the test started and fails on a sanitizer report in their logs.
    void TearDown() override {
        for (const auto& entry : fs::directory_iterator(RunFolder())) {
            if (entry.path().extension() == ".pid") {
                pid_t pid = 0;
                std::ifstream(entry.path()) >> pid;
                if (pid > 0) ::kill(pid, SIGKILL);
            } else if (entry.path().extension() == ".log") {
                std::stringstream log;
                log << std::ifstream(entry.path()).rdbuf();
                EXPECT_EQ(log.str().find("Sanitizer"), std::string::npos) << log.str();
                EXPECT_EQ(log.str().find("runtime error"), std::string::npos) << log.str();
            }
        }
        CoUninitialize();
    }

    // The test server, named as Windows names it, with the ".exe" the machine adds.
    static std::string ServerPath() { return ToWindowsPath(ServerProgram()) + ".exe"; }

    static void RegisterServer(const std::string& commandLine) {
        WriteClassKey(CLSID_ComTestServer, "LocalServer32", commandLine);
    }

    static std::unique_ptr<ComProxy> Create() {
        std::unique_ptr<ComProxy> object;
        EXPECT_EQ(CoCreateInstance(CLSID_ComTestServer, CLSCTX_LOCAL_SERVER, IID_IComTest, object),
                  S_OK);
        return object;
    }

    static std::string CallText(ComProxy& object, const char* method,
                                std::string_view request = {}) {
        std::string reply;
        EXPECT_EQ(object.Call(method, request, reply), S_OK) << method;
        return reply;
    }

    static pid_t PidOf(ComProxy& object) { return std::stoi(CallText(object, "Pid")); }
};

TEST_F(ComTest, GuidTextIsTheRegistryForm) {
    GUID first, second;
    ASSERT_EQ(CoCreateGuid(first), S_OK);
    ASSERT_EQ(CoCreateGuid(second), S_OK);
    EXPECT_NE(first, second);
    const std::string text = StringFromGUID2(first);
    EXPECT_EQ(text.size(), 38u);
    EXPECT_EQ(text, UpperCase(text));
    CLSID parsed;
    ASSERT_EQ(CLSIDFromString(text, parsed), S_OK);
    EXPECT_EQ(parsed, first);
    ASSERT_EQ(CLSIDFromString("{fb65c4dc-e468-11d1-aa67-00c04fa345f6}", parsed), S_OK);
    EXPECT_EQ(StringFromGUID2(parsed), "{FB65C4DC-E468-11D1-AA67-00C04FA345F6}");
}

TEST_F(ComTest, MalformedGuidTextIsRefused) {
    for (const char* text :
         {"", "fb65c4dc-e468-11d1-aa67-00c04fa345f6", "{fb65c4dc-e468-11d1-aa67-00c04fa345f}",
          "{fb65c4dc-e468-11d1-aa67-00c04fa345fg}", "{fb65c4dce-468-11d1-aa67-00c04fa345f6}",
          "{fb65c4dc-e468-11d1-aa67-00c04fa345f6}x"}) {
        CLSID clsid;
        EXPECT_EQ(CLSIDFromString(text, clsid), CO_E_CLASSSTRING) << text;
    }
}

TEST_F(ComTest, ProgIdNamesTheClassInClassesRoot) {
    CLSID clsid;
    ASSERT_EQ(CLSIDFromProgID("winntsysteminfo", clsid), S_OK);
    EXPECT_EQ(StringFromGUID2(clsid), "{66182EC4-AFD1-11D2-9CB9-0000F87A369E}");
    TRegistry registry;
    registry.RootKey = HKEY_CLASSES_ROOT;
    ASSERT_TRUE(registry.OpenKeyReadOnly(
        "\\CLSID\\{66182EC4-AFD1-11D2-9CB9-0000F87A369E}\\InprocServer32"));
    EXPECT_EQ(registry.ReadString(""), "activeds.dll");
    EXPECT_EQ(CLSIDFromProgID("vrelPOP3Service.MessageAgent", clsid), CO_E_CLASSSTRING);
    ASSERT_TRUE(registry.OpenKey("\\Damaged\\CLSID", true));
    registry.WriteInteger("", 1);
    EXPECT_EQ(CLSIDFromProgID("Damaged", clsid), CO_E_CLASSSTRING);
}

class ITestThing : public IUnknown {
  public:
    virtual int Value() const = 0;
};
class IOtherThing : public IUnknown {};
class TestThing : public ITestThing {
  public:
    int Value() const override { return 42; }
};

TEST_F(ComTest, InprocClassIsCreatableOnlyWhileRegistered) {
    const CLSID clsid = GuidFromText("{0B7C3C61-2A48-4C3E-9A41-6F21D3E8B0F1}");
    const CLSID unknownToCode = GuidFromText("{0B7C3C61-2A48-4C3E-9A41-6F21D3E8B0F2}");
    RegisterInprocClass(clsid, [] { return std::make_shared<TestThing>(); });
    std::shared_ptr<ITestThing> thing;
    EXPECT_EQ(CoCreateInstance(clsid, CLSCTX_INPROC_SERVER, thing), REGDB_E_CLASSNOTREG);

    WriteClassKey(clsid, "InprocServer32", "test.dll");
    ASSERT_EQ(CoCreateInstance(clsid, CLSCTX_INPROC_SERVER, thing), S_OK);
    EXPECT_EQ(thing->Value(), 42);
    std::shared_ptr<IOtherThing> other;
    EXPECT_EQ(CoCreateInstance(clsid, CLSCTX_INPROC_SERVER, other), E_NOINTERFACE);
    EXPECT_EQ(CoCreateInstance(clsid, CLSCTX_LOCAL_SERVER, thing), REGDB_E_CLASSNOTREG);

    TRegistry registry;
    registry.RootKey = HKEY_CLASSES_ROOT;
    ASSERT_TRUE(registry.DeleteKey("\\CLSID\\" + StringFromGUID2(clsid)));
    EXPECT_EQ(CoCreateInstance(clsid, CLSCTX_INPROC_SERVER, thing), REGDB_E_CLASSNOTREG);
    EXPECT_FALSE(thing);

    WriteClassKey(unknownToCode, "InprocServer32", "other.dll");
    EXPECT_EQ(CoCreateInstance(unknownToCode, CLSCTX_INPROC_SERVER, thing),
              CLASS_E_CLASSNOTAVAILABLE);
}

TEST_F(ComTest, CreationNeedsComOnTheThread) {
    RegisterServer(ServerPath() + " /Automation");
    std::thread([] {
        std::unique_ptr<ComProxy> object;
        EXPECT_EQ(CoCreateInstance(CLSID_ComTestServer, CLSCTX_LOCAL_SERVER, IID_IComTest, object),
                  CO_E_NOTINITIALIZED);
    }).join();
}

TEST_F(ComTest, UnregisteredLocalClassIsNotStarted) {
    std::unique_ptr<ComProxy> object;
    EXPECT_EQ(CoCreateInstance(CLSID_ComTestServer, CLSCTX_LOCAL_SERVER, IID_IComTest, object),
              REGDB_E_CLASSNOTREG);
}

TEST_F(ComTest, ActivationStartsTheCommandLineAsStoredAndReusesTheServer) {
    RegisterServer(ServerPath() + " /Automation \"two words\" a\\\"b");
    const auto first = Create();
    ASSERT_TRUE(first);
    EXPECT_EQ(CallText(*first, "Args"), "/Automation\ntwo words\na\"b\n");
    EXPECT_EQ(CallText(*first, "Echo", std::string("x\0y", 3)), std::string("x\0y", 3));
    const auto second = Create();
    ASSERT_TRUE(second);
    EXPECT_EQ(PidOf(*first), PidOf(*second));

    CallText(*first, "Stderr", "standard error goes to the log");
    std::stringstream log;
    log << std::ifstream(RunFolder() / "com_test_server.log").rdbuf();
    EXPECT_NE(log.str().find("standard error goes to the log"), std::string::npos);
}

TEST_F(ComTest, ClientsActivatingTogetherStartOneServer) {
    RegisterServer(ServerPath() + " /Automation");
    // Each client keeps its object until both have one, so the server cannot quit between.
    std::latch bothActivated(2);
    auto activate = [&bothActivated] {
        CoInitialize();
        const auto object = Create();
        const pid_t pid = object ? PidOf(*object) : -1;
        bothActivated.arrive_and_wait();
        CoUninitialize();
        return pid;
    };
    auto first = std::async(std::launch::async, activate);
    auto second = std::async(std::launch::async, activate);
    const pid_t pid = first.get();
    EXPECT_GT(pid, 0);
    EXPECT_EQ(second.get(), pid);
}

TEST_F(ComTest, SecondServerOfAClassCannotRegister) {
    RegisterServer(ServerPath());
    const auto object = Create();
    ASSERT_TRUE(object);
    const int status = std::system(("'" + ServerProgram().string() + "'").c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << status;
}

TEST_F(ComTest, LocalServerEntryOfAnotherTypeFailsTheActivation) {
    TRegistry registry;
    registry.RootKey = HKEY_CLASSES_ROOT;
    ASSERT_TRUE(registry.OpenKey(
        "\\CLSID\\" + StringFromGUID2(CLSID_ComTestServer) + "\\LocalServer32", true));
    registry.WriteInteger("", 1);
    std::unique_ptr<ComProxy> object;
    EXPECT_EQ(CoCreateInstance(CLSID_ComTestServer, CLSCTX_LOCAL_SERVER, IID_IComTest, object),
              CO_E_SERVER_EXEC_FAILURE);
}

TEST_F(ComTest, ObjectMustAnswerTheInterface) {
    RegisterServer(ServerPath());
    std::unique_ptr<ComProxy> object;
    EXPECT_EQ(CoCreateInstance(CLSID_ComTestServer, CLSCTX_LOCAL_SERVER,
                               GuidFromText("{0B7C3C61-2A48-4C3E-9A41-6F21D3E8B0FF}"), object),
              E_NOINTERFACE);
    EXPECT_FALSE(object);
}

TEST_F(ComTest, CallsRunOneAtATimeOnTheMainThread) {
    RegisterServer(ServerPath() + " /Automation");
    const auto first = Create();
    const auto second = Create();
    ASSERT_TRUE(first && second);
    const auto start = Clock::now();
    auto slow = [](ComProxy* object) { return CallText(*object, "Slow", "200"); };
    auto a = std::async(std::launch::async, slow, first.get());
    auto b = std::async(std::launch::async, slow, second.get());
    EXPECT_EQ(a.get(), "1 main");
    EXPECT_EQ(b.get(), "1 main");
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(400));
}

TEST_F(ComTest, LastReleaseEndsAnAutomationServer) {
    RegisterServer(ServerPath() + " /Automation");
    auto object = Create();
    ASSERT_TRUE(object);
    const pid_t pid = PidOf(*object);
    std::unique_ptr<ComClassObject> factory;
    ASSERT_EQ(CoGetClassObject(CLSID_ComTestServer, CLSCTX_LOCAL_SERVER, factory), S_OK);
    ASSERT_EQ(factory->LockServer(true), S_OK);
    object.reset();
    EXPECT_FALSE(EndsWithin(pid, std::chrono::milliseconds(300)));
    ASSERT_EQ(factory->LockServer(false), S_OK);
    EXPECT_TRUE(EndsWithin(pid, std::chrono::seconds(10)));

    object = Create();
    ASSERT_TRUE(object);
    EXPECT_NE(PidOf(*object), pid);
}

TEST_F(ComTest, ServerStartedWithoutAutomationOutlivesItsObjects) {
    RegisterServer(ServerPath());
    auto object = Create();
    ASSERT_TRUE(object);
    const pid_t pid = PidOf(*object);
    object.reset();
    EXPECT_FALSE(EndsWithin(pid, std::chrono::milliseconds(300)));
    object = Create();
    EXPECT_EQ(PidOf(*object), pid);
}

TEST_F(ComTest, ServerKilledMidCallGivesAnRpcFailureAtOnce) {
    RegisterServer(ServerPath() + " /Automation");
    const auto object = Create();
    ASSERT_TRUE(object);
    const pid_t pid = PidOf(*object);
    auto call = std::async(std::launch::async, [&] {
        std::string reply;
        return object->Call("Hang", "", reply);
    });
    const fs::path hanging = RunFolder() / ("com_test_server." + std::to_string(pid) + ".hang");
    for (int i = 0; i < 3000 && !fs::exists(hanging); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(fs::exists(hanging)) << "the server took the call";
    const auto killed = Clock::now();
    ::kill(pid, SIGKILL);
    // Long before the machine's 60 s call time-out, with room for a loaded machine.
    ASSERT_EQ(call.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(call.get(), RPC_S_CALL_FAILED);
    EXPECT_LT(Clock::now() - killed, std::chrono::seconds(10));
    std::string reply;
    EXPECT_EQ(object->Call("Echo", "", reply), RPC_E_DISCONNECTED);

    const auto fresh = Create();
    ASSERT_TRUE(fresh);
    EXPECT_NE(PidOf(*fresh), pid);
}

TEST_F(ComTest, HungCallEndsAtItsTimeOut) {
    RegisterServer(ServerPath() + " /Automation");
    const auto object = Create();
    ASSERT_TRUE(object);
    object->SetCallTimeout(200);
    std::string reply;
    const auto start = Clock::now();
    EXPECT_EQ(object->Call("Hang", "", reply), RPC_E_TIMEOUT);
    // Its own time-out, not the machine's 60 s, with room for a loaded machine.
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(object->Call("Echo", "", reply), RPC_E_DISCONNECTED);
}

// A server that never registers fails at the activation time-out the machine sets; one that
// ends, or a program that is not there, fails at once, long before its time-out. The bound
// leaves a loaded machine room to start the processes.
TEST_F(ComTest, ActivationFailsWhenTheServerDoesNotRegister) {
    struct Case {
        std::string commandLine;
        int timeOut;
        std::chrono::milliseconds least;
    };
    const Case cases[] = {
        {ServerPath() + " /NoRegister", 500, std::chrono::milliseconds(500)},
        {ServerPath() + " /ExitAtOnce", 60000, std::chrono::milliseconds(0)},
        {"C:\\nowhere\\server.exe /Automation", 60000, std::chrono::milliseconds(0)},
    };
    for (const Case& c : cases) {
        SetKnob("ComActivationTimeout", c.timeOut);
        RegisterServer(c.commandLine);
        std::unique_ptr<ComProxy> object;
        const auto start = Clock::now();
        EXPECT_EQ(CoCreateInstance(CLSID_ComTestServer, CLSCTX_LOCAL_SERVER, IID_IComTest, object),
                  CO_E_SERVER_EXEC_FAILURE)
            << c.commandLine;
        EXPECT_GE(Clock::now() - start, c.least) << c.commandLine;
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(15)) << c.commandLine;
    }
}

TEST_F(ComTest, ProgramPathWithBlanksIsFoundQuotedUnquotedOrShort) {
    const fs::path folder = machine_.DriveC() / "Program Files" / "Com Test";
    fs::create_directories(folder);
    fs::create_symlink(ServerProgram(), folder / "com_test_server");
    const std::string longPath = "C:\\Program Files\\Com Test\\com_test_server.exe";
    const std::string shortPath = GetShortPathName(longPath);
    ASSERT_EQ(shortPath.find(' '), std::string::npos) << shortPath;
    for (const std::string& commandLine : {"\"" + longPath + "\" /Automation",
                                           longPath + " /Automation", shortPath + " /Automation"}) {
        RegisterServer(commandLine);
        auto object = Create();
        ASSERT_TRUE(object) << commandLine;
        EXPECT_EQ(CallText(*object, "Args"), "/Automation\n");
        const pid_t pid = PidOf(*object);
        object.reset();
        EXPECT_TRUE(EndsWithin(pid, std::chrono::seconds(10)));
    }
}

TEST_F(ComTest, ErrorInfoTravelsBackWithTheFailure) {
    RegisterServer(ServerPath() + " /Automation");
    const auto object = Create();
    ASSERT_TRUE(object);
    std::string reply;
    EXPECT_EQ(object->Call("Fail", "Mailbox folder missing", reply), DISP_E_EXCEPTION);
    std::optional<ErrorInfo> info;
    ASSERT_EQ(GetErrorInfo(info), S_OK);
    EXPECT_EQ(info,
              (ErrorInfo{vrel::test::kComTestSource, "Mailbox folder missing", IID_IComTest}));
    EXPECT_EQ(GetErrorInfo(info), S_FALSE);

    EXPECT_EQ(object->Call("Fail", "again", reply), DISP_E_EXCEPTION);
    EXPECT_EQ(object->Call("Echo", "", reply), S_OK);
    EXPECT_EQ(GetErrorInfo(info), S_FALSE);
    EXPECT_EQ(object->Call("Throw", "", reply), RPC_E_SERVERFAULT);
    EXPECT_EQ(object->Call("Unknown", "", reply), E_NOTIMPL);
}

TEST_F(ComTest, TypeLibraryIsRegisteredAndRemoved) {
    const TypeLibData typeLib{"popagent",
                              GuidFromText("{2AF1AFF7-1190-4F4E-B1ED-D4148B9BBC85}"),
                              1,
                              10,
                              0,
                              "Message Agents for POP3 Library",
                              {{"MessageAgent",
                                GuidFromText("{89DDE9CE-5757-4855-BF80-4417F3214F72}"),
                                "SMTP sink to move messages to local mail boxes",
                                {}}}};
    ASSERT_EQ(RegisterTypeLib(typeLib, "C:\\Program Files\\Vrel\\popagent.exe", ""), S_OK);
    const std::string key = "\\TypeLib\\{2AF1AFF7-1190-4F4E-B1ED-D4148B9BBC85}";
    TRegistry registry;
    registry.RootKey = HKEY_CLASSES_ROOT;
    ASSERT_TRUE(registry.OpenKeyReadOnly(key + "\\1.a"));
    EXPECT_EQ(registry.ReadString(""), "Message Agents for POP3 Library");
    ASSERT_TRUE(registry.OpenKeyReadOnly(key + "\\1.a\\0\\win32"));
    EXPECT_EQ(registry.ReadString(""), "C:\\Program Files\\Vrel\\popagent.exe");
    ASSERT_TRUE(registry.OpenKeyReadOnly(key + "\\1.a\\FLAGS"));
    EXPECT_EQ(registry.ReadString(""), "0");
    ASSERT_TRUE(registry.OpenKeyReadOnly(key + "\\1.a\\HELPDIR"));
    EXPECT_EQ(registry.ReadString(""), "C:\\Program Files\\Vrel");
    registry.CloseKey();

    TypeLibData older = typeLib;
    older.minorVersion = 0;
    ASSERT_EQ(RegisterTypeLib(older, "C:\\old\\popagent.exe", "C:\\help"), S_OK);
    EXPECT_EQ(UnRegisterTypeLib(typeLib.libid, 1, 10, 0, SYS_WIN32), S_OK);
    EXPECT_FALSE(registry.KeyExists(key + "\\1.a"));
    EXPECT_TRUE(registry.KeyExists(key + "\\1.0"));
    EXPECT_EQ(UnRegisterTypeLib(typeLib.libid, 1, 10, 0, SYS_WIN32), TYPE_E_REGISTRYACCESS);
    EXPECT_EQ(UnRegisterTypeLib(typeLib.libid, 1, 0, 0, SYS_WIN32), S_OK);
    EXPECT_FALSE(registry.KeyExists(key));
}

}  // namespace
