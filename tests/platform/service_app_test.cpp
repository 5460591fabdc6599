// The service application's switches and its connection to the manager, through the real
// testservice program: confirmations and failures as the framework words them, the service
// entry an installation writes, and a run outside the manager.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include "platform/eventlog.h"
#include "platform/registry.h"
#include "platform/scm.h"
#include "platform/service.h"
#include "test_services.h"
#include "workers.h"

namespace {

using namespace win;
using vrel::test::RunProgram;
using vrel::test::WaitForState;

constexpr const char* kServiceKey = "\\SYSTEM\\CurrentControlSet\\Services\\VrelTestService";

class ServiceAppTest : public vrel::test::ServiceTest {};

TEST_F(ServiceAppTest, RaisesTheOpenFileLimitToTheHardLimit) {
    const auto results = vrel::test::RunWorkers(1, [](int, int) {
        rlimit files{};
        ::getrlimit(RLIMIT_NOFILE, &files);
        const rlim_t hard = files.rlim_max;
        files.rlim_cur = 64;
        if (hard <= 64 || ::setrlimit(RLIMIT_NOFILE, &files) != 0) return 10;
        char program[] = "service";
        char* argv[] = {program, nullptr};
        TServiceApplication application(1, argv);
        ::getrlimit(RLIMIT_NOFILE, &files);
        return files.rlim_cur == hard ? 0 : 11;
    });
    EXPECT_EQ(results.at(0).exitCode, 0);
}

struct SwitchCase {
    friend void PrintTo(const SwitchCase& c, std::ostream* os) { *os << c.arguments; }
    const char* arguments;
    bool installedBefore;
    const char* output;
    int exitCode;
    bool installedAfter;
};

class ServiceSwitchTest : public ServiceAppTest,
                          public ::testing::WithParamInterface<SwitchCase> {};

TEST_P(ServiceSwitchTest, ConfirmsOrReportsTheFailure) {
    const SwitchCase& c = GetParam();
    if (c.installedBefore) {
        ASSERT_EQ(RunProgram("testservice", "/install /silent").exitCode, 0);
    }
    const auto result = RunProgram("testservice", c.arguments);
    EXPECT_EQ(result.output, c.output);
    EXPECT_EQ(result.exitCode, c.exitCode);
    EXPECT_EQ(TRegistry().KeyExists(kServiceKey), c.installedAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ServiceSwitchTest,
    ::testing::Values(
        SwitchCase{"/install", false, "Service installed successfully\n", 0, true},
        SwitchCase{"-INSTALL", false, "Service installed successfully\n", 0, true},
        SwitchCase{"/Install -Silent", false, "", 0, true},
        SwitchCase{"/install", true,
                   "Service \"VrelTestService\" failed to install with error: \"The specified "
                   "service already exists.\"\n",
                   1, true},
        SwitchCase{"/install /silent", true,
                   "Service \"VrelTestService\" failed to install with error: \"The specified "
                   "service already exists.\"\n",
                   1, true},
        SwitchCase{"-uninstall", true, "Service uninstalled successfully\n", 0, false},
        SwitchCase{"/UNINSTALL /SILENT", true, "", 0, false},
        SwitchCase{"/uninstall", false,
                   "Service \"VrelTestService\" failed to uninstall with error: \"The specified "
                   "service does not exist as an installed service.\"\n",
                   1, false},
        SwitchCase{"install", false, "", 1, false}));

TEST_F(ServiceAppTest, InstallWritesTheServiceEntryThatStarts) {
    ASSERT_EQ(RunProgram("testservice", "-display:\"Vrel Test Service\" /install").exitCode, 0);
    TRegistry registry;
    ASSERT_TRUE(registry.OpenKeyReadOnly(kServiceKey));
    EXPECT_EQ(registry.ReadString("ImagePath"), vrel::test::ProgramImagePath("testservice"));
    EXPECT_EQ(registry.ReadString("DisplayName"), "Vrel Test Service");
    EXPECT_EQ(registry.ReadInteger("Type"), 0x10);
    EXPECT_EQ(registry.ReadInteger("Start"), 2);
    EXPECT_EQ(registry.ReadInteger("ErrorControl"), 1);
    EXPECT_EQ(registry.ReadString("ObjectName"), "LocalSystem");

    SC_HANDLE manager = OpenSCManager(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_TRUE(StartService(OpenService(manager, "VrelTestService", SERVICE_START)));
    EXPECT_EQ(WaitForState("VrelTestService", SERVICE_RUNNING).dwCurrentState, SERVICE_RUNNING);
}

TEST_F(ServiceAppTest, RunOutsideTheManagerLogsAndEnds) {
    const auto result = RunProgram("testservice", "");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.output, "");
    const std::vector<EVENTLOGRECORD> events = ReadEventLog();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].SourceName, "testservice.exe");
    EXPECT_EQ(events[0].EventType, EVENTLOG_ERROR_TYPE);
    EXPECT_EQ(events[0].Message,
              "The service process could not connect to the service controller.");
}

TEST_F(ServiceAppTest, ProgramWithoutTheServiceStopsWith1083) {
    SC_HANDLE manager = OpenSCManager(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = CreateService(
        manager, "Stranger", "", SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
        SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, vrel::test::ProgramImagePath("testservice"));
    ASSERT_TRUE(StartService(service));
    const SERVICE_STATUS status = WaitForState("Stranger", SERVICE_STOPPED);
    EXPECT_EQ(status.dwCurrentState, SERVICE_STOPPED);
    EXPECT_EQ(status.dwWin32ExitCode, ERROR_SERVICE_NOT_IN_EXE);
}

}  // namespace
