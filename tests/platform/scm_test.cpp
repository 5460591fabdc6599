// The service control manager with real service processes (testservice): the Windows error
// codes the settings program branches on, the states and wait hints it waits for, and a
// service process that dies or is deleted under the manager.
#include "platform/scm.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <thread>

#include "platform/eventlog.h"
#include "platform/registry.h"
#include "test_services.h"

namespace {

using namespace win;
using vrel::test::CreateTestService;
using vrel::test::ProgramImagePath;
using vrel::test::WaitForState;

class ScmTest : public vrel::test::ServiceTest {
  protected:
    ScmTest() : manager_(OpenSCManager(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)) {}

    SC_HANDLE Open(const std::string& name) {
        return OpenService(manager_, name, SERVICE_ALL_ACCESS);
    }

    // Creates and starts the service and waits until it runs.
    SC_HANDLE Running(const std::string& name, const std::string& options = "") {
        SC_HANDLE service = CreateTestService(name, options);
        EXPECT_TRUE(service) << GetLastError();
        EXPECT_TRUE(StartService(service)) << GetLastError();
        EXPECT_EQ(WaitForState(name, SERVICE_RUNNING).dwCurrentState, SERVICE_RUNNING);
        return service;
    }

    static SERVICE_STATUS Query(const SC_HANDLE& service) {
        SERVICE_STATUS status;
        EXPECT_TRUE(QueryServiceStatus(service, status)) << GetLastError();
        return status;
    }

    // Waits a while for the event log line "source: message"; true when it came.
    static bool WaitForEvent(const std::string& line) {
        for (int i = 0; i < 500; ++i) {
            const std::vector<std::string> events = EventMessages();
            if (std::find(events.begin(), events.end(), line) != events.end()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    static std::vector<std::string> EventMessages() {
        std::vector<std::string> messages;
        for (const EVENTLOGRECORD& record : ReadEventLog()) {
            messages.push_back(record.SourceName + ": " + record.Message);
        }
        return messages;
    }

    SC_HANDLE manager_;
};

// Expects the call to fail with the code.
#define EXPECT_FAILS_WITH(call, code)           \
    do {                                        \
        EXPECT_FALSE(call);                     \
        EXPECT_EQ(GetLastError(), DWORD(code)); \
    } while (0)

TEST_F(ScmTest, CreateWritesTheServiceKey) {
    ASSERT_TRUE(CreateService(manager_, "Pop3", "Vrel POP3 Service", SERVICE_ALL_ACCESS,
                              SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                              "C:\\Program Files\\Vrel\\popservice.exe"));
    TRegistry registry;
    ASSERT_TRUE(registry.OpenKeyReadOnly("\\SYSTEM\\CurrentControlSet\\Services\\Pop3"));
    EXPECT_EQ(registry.ReadInteger("Type"), 0x10);
    EXPECT_EQ(registry.ReadInteger("Start"), 2);
    EXPECT_EQ(registry.ReadInteger("ErrorControl"), 1);
    EXPECT_EQ(registry.ReadString("ImagePath"), "C:\\Program Files\\Vrel\\popservice.exe");
    EXPECT_EQ(registry.ReadString("DisplayName"), "Vrel POP3 Service");
    EXPECT_EQ(registry.ReadString("ObjectName"), "LocalSystem");
    EXPECT_FALSE(registry.ValueExists("Description"));
}

TEST_F(ScmTest, OpenCreateAndDeleteGiveTheWindowsCodes) {
    EXPECT_FALSE(Open("Missing"));
    EXPECT_EQ(GetLastError(), ERROR_SERVICE_DOES_NOT_EXIST);
    ASSERT_TRUE(CreateService(manager_, "First", "First Service", SERVICE_ALL_ACCESS,
                              SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                              "C:\\first.exe"));
    EXPECT_TRUE(Open("FIRST")) << "names ignore case";
    EXPECT_FALSE(CreateTestService("first"));
    EXPECT_EQ(GetLastError(), ERROR_SERVICE_EXISTS);
    EXPECT_FALSE(CreateService(manager_, "Second", "first", SERVICE_ALL_ACCESS,
                               SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                               SERVICE_ERROR_NORMAL, "C:\\second.exe"));
    EXPECT_EQ(GetLastError(), ERROR_DUPLICATE_SERVICE_NAME);
    EXPECT_FALSE(CreateTestService("Bad\\Name"));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
    EXPECT_FALSE(Open("Services\\First"));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);

    SC_HANDLE first = Open("First");
    ASSERT_TRUE(DeleteService(first));
    EXPECT_FALSE(Open("First"));
    EXPECT_EQ(GetLastError(), ERROR_SERVICE_DOES_NOT_EXIST);
    SERVICE_STATUS status;
    EXPECT_FAILS_WITH(QueryServiceStatus(first, status), ERROR_SERVICE_DOES_NOT_EXIST);
    EXPECT_FALSE(TRegistry().KeyExists("\\SYSTEM\\CurrentControlSet\\Services\\First"));
}

TEST_F(ScmTest, HandlesCheckTheirKindAndAccess) {
    SC_HANDLE created = CreateTestService("Guarded");
    ASSERT_TRUE(created);
    SC_HANDLE queryOnly = OpenService(manager_, "Guarded", SERVICE_QUERY_STATUS);
    EXPECT_FAILS_WITH(StartService(queryOnly), ERROR_ACCESS_DENIED);
    EXPECT_FAILS_WITH(DeleteService(queryOnly), ERROR_ACCESS_DENIED);
    EXPECT_FAILS_WITH(StartService(manager_), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(OpenSCManager("\\\\OTHER", "", SC_MANAGER_ALL_ACCESS));
    EXPECT_TRUE(CloseServiceHandle(created));
    EXPECT_FAILS_WITH(CloseServiceHandle(created), ERROR_INVALID_HANDLE);
}

// The start and the stop take two seconds each, so that a loaded machine does not end them
// before the test has seen them pending.
TEST_F(ScmTest, StartRunsAndStopStops) {
    SC_HANDLE service = CreateTestService("Cycle", "-startdelay:2000 -stopdelay:2000");
    ASSERT_TRUE(service);
    EXPECT_EQ(Query(service).dwCurrentState, SERVICE_STOPPED);
    SERVICE_STATUS status;
    EXPECT_FAILS_WITH(ControlService(service, SERVICE_CONTROL_STOP, status),
                      ERROR_SERVICE_NOT_ACTIVE);

    ASSERT_TRUE(StartService(service)) << GetLastError();
    EXPECT_EQ(Query(service).dwCurrentState, SERVICE_START_PENDING)
        << "StartService returns at once";
    EXPECT_EQ(WaitForState("Cycle", SERVICE_RUNNING).dwCurrentState, SERVICE_RUNNING);
    EXPECT_EQ(Query(service).dwControlsAccepted,
              SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE | SERVICE_ACCEPT_SHUTDOWN);
    EXPECT_FAILS_WITH(StartService(service), ERROR_SERVICE_ALREADY_RUNNING);

    ASSERT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, status)) << GetLastError();
    EXPECT_EQ(status.dwCurrentState, SERVICE_STOP_PENDING);
    EXPECT_FAILS_WITH(ControlService(service, SERVICE_CONTROL_STOP, status),
                      ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
    EXPECT_EQ(WaitForState("Cycle", SERVICE_STOPPED).dwCurrentState, SERVICE_STOPPED);
    EXPECT_EQ(Query(service).dwWin32ExitCode, ERROR_SUCCESS);
    EXPECT_FAILS_WITH(ControlService(service, SERVICE_CONTROL_STOP, status),
                      ERROR_SERVICE_NOT_ACTIVE);

    ASSERT_TRUE(StartService(service)) << "a stopped service starts again";
    EXPECT_EQ(WaitForState("Cycle", SERVICE_RUNNING).dwCurrentState, SERVICE_RUNNING);
}

TEST_F(ScmTest, TwoStartsAtOnceLaunchOneProcess) {
    ASSERT_TRUE(CreateTestService("Race"));
    bool started[2] = {};
    DWORD errors[2] = {};
    std::thread starters[2];
    for (int i = 0; i < 2; ++i) {
        starters[i] = std::thread([&, i] {
            SC_HANDLE manager = OpenSCManager(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
            started[i] = StartService(OpenService(manager, "Race", SERVICE_START));
            errors[i] = GetLastError();
        });
    }
    for (std::thread& starter : starters) starter.join();
    EXPECT_NE(started[0], started[1]);
    EXPECT_EQ(started[0] ? errors[1] : errors[0], ERROR_SERVICE_ALREADY_RUNNING);
}

TEST_F(ScmTest, WaitHintAndCheckPointAreVisibleWhilePending) {
    SC_HANDLE service = CreateTestService("Slow", "-startdelay:forever -waithint:700");
    ASSERT_TRUE(StartService(service));
    SERVICE_STATUS first = Query(service);
    for (int i = 0; i < 3000 && first.dwWaitHint != 700; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        first = Query(service);
    }
    EXPECT_EQ(first.dwCurrentState, SERVICE_START_PENDING);
    EXPECT_EQ(first.dwWaitHint, 700u);
    EXPECT_EQ(first.dwControlsAccepted, 0u);
    SERVICE_STATUS later = Query(service);
    for (int i = 0; i < 3000 && later.dwCheckPoint == first.dwCheckPoint; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        later = Query(service);
    }
    EXPECT_EQ(later.dwCurrentState, SERVICE_START_PENDING);
    EXPECT_GT(later.dwCheckPoint, first.dwCheckPoint) << "each report moves the check point";
    SERVICE_STATUS status;
    EXPECT_FAILS_WITH(ControlService(service, SERVICE_CONTROL_STOP, status),
                      ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
}

TEST_F(ScmTest, KilledServiceReadsStoppedAndStartsAgain) {
    SC_HANDLE service = Running("Victim");
    SERVICE_STATUS_PROCESS status;
    ASSERT_TRUE(QueryServiceStatusEx(service, status));
    ASSERT_NE(status.dwProcessId, 0u);
    ASSERT_EQ(::kill(static_cast<pid_t>(status.dwProcessId), SIGKILL), 0);
    const SERVICE_STATUS after = WaitForState("Victim", SERVICE_STOPPED);
    EXPECT_EQ(after.dwCurrentState, SERVICE_STOPPED);
    EXPECT_EQ(after.dwWin32ExitCode, ERROR_PROCESS_ABORTED);
    ASSERT_TRUE(StartService(service)) << GetLastError();
    EXPECT_EQ(WaitForState("Victim", SERVICE_RUNNING).dwCurrentState, SERVICE_RUNNING);
}

TEST_F(ScmTest, CrashedServiceReadsStopped) {
    SC_HANDLE service = Running("Crashy", "-crash:100");
    const SERVICE_STATUS after = WaitForState("Crashy", SERVICE_STOPPED);
    EXPECT_EQ(after.dwCurrentState, SERVICE_STOPPED);
    EXPECT_EQ(after.dwWin32ExitCode, ERROR_PROCESS_ABORTED);
}

TEST_F(ScmTest, ServiceDeletedWhileRunningGoesWhenItStops) {
    SC_HANDLE service = Running("Doomed");
    ASSERT_TRUE(DeleteService(service));
    EXPECT_EQ(Query(service).dwCurrentState, SERVICE_RUNNING);
    EXPECT_TRUE(Open("Doomed")) << "still there while it runs";
    EXPECT_FAILS_WITH(DeleteService(service), ERROR_SERVICE_MARKED_FOR_DELETE);
    EXPECT_FALSE(CreateTestService("Doomed"));
    EXPECT_EQ(GetLastError(), ERROR_SERVICE_MARKED_FOR_DELETE);

    SERVICE_STATUS status;
    ASSERT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, status));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (Open("Doomed") && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_FALSE(Open("Doomed"));
    EXPECT_EQ(GetLastError(), ERROR_SERVICE_DOES_NOT_EXIST);
    EXPECT_FALSE(TRegistry().KeyExists("\\SYSTEM\\CurrentControlSet\\Services\\Doomed"));
    EXPECT_TRUE(CreateTestService("Doomed")) << "the name is free again";
}

TEST_F(ScmTest, MarkedServiceRefusesToStartAgain) {
    SC_HANDLE service = Running("Marked", "-stopdelay:500");
    ASSERT_TRUE(DeleteService(service));
    EXPECT_FAILS_WITH(StartService(service), ERROR_SERVICE_MARKED_FOR_DELETE);
}

TEST_F(ScmTest, PauseAndContinue) {
    SC_HANDLE service = Running("Pausing");
    SERVICE_STATUS status;
    ASSERT_TRUE(ControlService(service, SERVICE_CONTROL_PAUSE, status));
    EXPECT_EQ(WaitForState("Pausing", SERVICE_PAUSED).dwCurrentState, SERVICE_PAUSED);
    ASSERT_TRUE(ControlService(service, SERVICE_CONTROL_INTERROGATE, status));
    EXPECT_EQ(status.dwCurrentState, SERVICE_PAUSED);
    ASSERT_TRUE(ControlService(service, SERVICE_CONTROL_CONTINUE, status));
    EXPECT_EQ(WaitForState("Pausing", SERVICE_RUNNING).dwCurrentState, SERVICE_RUNNING);
    ASSERT_TRUE(ControlService(service, SERVICE_CONTROL_PAUSE, status));
    ASSERT_EQ(WaitForState("Pausing", SERVICE_PAUSED).dwCurrentState, SERVICE_PAUSED);
    ASSERT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, status)) << "a paused service stops";
    EXPECT_EQ(WaitForState("Pausing", SERVICE_STOPPED).dwCurrentState, SERVICE_STOPPED);
}

TEST_F(ScmTest, MissingProgramDoesNotStart) {
    SC_HANDLE service =
        CreateService(manager_, "Ghost", "", SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                      SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, "C:\\nowhere\\ghost.exe");
    EXPECT_FAILS_WITH(StartService(service), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Query(service).dwCurrentState, SERVICE_STOPPED);
}

TEST_F(ScmTest, UnquotedImagePathWithBlanksIsFoundByItsPrefixes) {
    const auto folder = machine_.DriveC() / "Program Files" / "Vrel Test";
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(vrel::test::BinFolder() / "testservice", folder / "testservice");
    SC_HANDLE service = CreateService(
        manager_, "Spaced", "", SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
        SERVICE_ERROR_NORMAL, "C:\\Program Files\\Vrel Test\\testservice.exe -name:Spaced");
    ASSERT_TRUE(StartService(service)) << GetLastError();
    EXPECT_EQ(WaitForState("Spaced", SERVICE_RUNNING).dwCurrentState, SERVICE_RUNNING);
}

TEST_F(ScmTest, DisabledServiceDoesNotStart) {
    SC_HANDLE service =
        CreateService(manager_, "Off", "", SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                      SERVICE_DISABLED, SERVICE_ERROR_NORMAL, ProgramImagePath("testservice"));
    EXPECT_FAILS_WITH(StartService(service), ERROR_SERVICE_DISABLED);
}

// Handlers that refuse or raise: the status goes back, and a raise is an event log line.
struct HandlerCase {
    friend void PrintTo(const HandlerCase& c, std::ostream* os) { *os << c.options; }
    const char* options;
    DWORD control;
    DWORD settlesIn;
    const char* event;  // empty: no event expected
};

class ScmHandlerTest : public ScmTest, public ::testing::WithParamInterface<HandlerCase> {};

TEST_P(ScmHandlerTest, StatusGoesBackAndFailuresAreLogged) {
    const HandlerCase& c = GetParam();
    SC_HANDLE service = Running("Handler", c.options);
    SERVICE_STATUS status;
    ASSERT_TRUE(ControlService(service, c.control, status)) << GetLastError();
    EXPECT_EQ(WaitForState("Handler", c.settlesIn).dwCurrentState, c.settlesIn);
    if (*c.event) {
        EXPECT_TRUE(WaitForEvent(std::string("Handler: ") + c.event));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ScmHandlerTest,
    ::testing::Values(HandlerCase{"-stop:refuse", SERVICE_CONTROL_STOP, SERVICE_RUNNING, ""},
                      HandlerCase{"-stop:fail", SERVICE_CONTROL_STOP, SERVICE_RUNNING,
                                  "Service failed on stop: the stop was told to fail"},
                      HandlerCase{"-pause:refuse", SERVICE_CONTROL_PAUSE, SERVICE_RUNNING, ""}));

// Start handlers that refuse or raise end the service.
struct StartCase {
    friend void PrintTo(const StartCase& c, std::ostream* os) { *os << c.options; }
    const char* options;
    const char* event;
};

class ScmStartTest : public ScmTest, public ::testing::WithParamInterface<StartCase> {};

TEST_P(ScmStartTest, ServiceEndsStopped) {
    const StartCase& c = GetParam();
    SC_HANDLE service = CreateTestService("Starter", c.options);
    ASSERT_TRUE(StartService(service));
    EXPECT_EQ(WaitForState("Starter", SERVICE_STOPPED).dwCurrentState, SERVICE_STOPPED);
    EXPECT_EQ(Query(service).dwWin32ExitCode, ERROR_SUCCESS) << "it reported its stop";
    const std::vector<std::string> events = EventMessages();
    if (*c.event) {
        ASSERT_FALSE(events.empty());
        EXPECT_EQ(events.back(), std::string("Starter: ") + c.event);
    } else {
        EXPECT_TRUE(events.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ScmStartTest,
    ::testing::Values(
        StartCase{"-start:refuse", ""},
        StartCase{"-start:fail", "Service failed on start: the start was told to fail"},
        StartCase{"-execute:fail", "Service failed on execute: the execute was told to fail"}));

TEST_F(ScmTest, ServiceThatIgnoresStopStaysStopPending) {
    SC_HANDLE service = Running("Stubborn", "-stop:ignore");
    SERVICE_STATUS status;
    ASSERT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, status));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(Query(service).dwCurrentState, SERVICE_STOP_PENDING);
}

TEST_F(ScmTest, DefaultExecuteServesControlsUntilStop) {
    SC_HANDLE service = Running("Plain", "-execute:default");
    SERVICE_STATUS status;
    ASSERT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, status));
    EXPECT_EQ(WaitForState("Plain", SERVICE_STOPPED).dwCurrentState, SERVICE_STOPPED);
    EXPECT_EQ(EventMessages(), (std::vector<std::string>{"Plain: Test service started",
                                                         "Plain: Test service stopped"}));
}

}  // namespace
