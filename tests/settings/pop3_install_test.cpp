// Installing and removing the POP3 service from the settings program, with the service
// program found through the install folder or beside "the program".
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "common/settings_key.h"
#include "platform/dialogs.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/scm.h"
#include "settings/pop3_install.h"
#include "settings/service_control.h"
#include "test_services.h"

namespace vrel {
namespace {
namespace fs = std::filesystem;

constexpr const char* kServiceKey = "\\SYSTEM\\CurrentControlSet\\Services\\vrelP3Service";
constexpr const char* kMissingServiceMessage =
    "Can't find the POP3 Server. Use Add/Remove programs to repair the POP3 Software.";

class Pop3InstallTest : public test::ServiceTest {
  protected:
    void SetUp() override { fs::create_directories(machine_.DriveC() / "Vrel Server"); }
    void TearDown() override {
        SetServiceProgressDisplay({});
        test::ServiceTest::TearDown();
    }

    static void SetInstallDirectory(const std::string& folder) {
        win::TRegistry registry;
        registry.OpenKey(kSettingsKey, true);
        registry.WriteString("InstallDirectory", folder);
    }

    // A stand-in service program in the install folder "C:\Vrel Server".
    void PlaceServiceProgram() {
        std::ofstream(machine_.DriveC() / "Vrel Server" / "popservice") << "#!/bin/sh\n";
    }

    static win::QUERY_SERVICE_CONFIG Config() {
        const win::SC_HANDLE manager =
            win::OpenSCManager(nullptr, nullptr, win::SC_MANAGER_ALL_ACCESS);
        win::QUERY_SERVICE_CONFIG config;
        EXPECT_TRUE(win::QueryServiceConfig(
            win::OpenService(manager, kPop3ServiceName, win::SERVICE_ALL_ACCESS), config));
        return config;
    }

    static std::optional<std::string> ServiceValue(const char* name) {
        win::TRegistry registry;
        if (!registry.OpenKeyReadOnly(kServiceKey) || !registry.ValueExists(name)) {
            return std::nullopt;
        }
        return registry.ReadString(name);
    }

    win::ModuleFileNameOverride program_{"C:\\Settings Program\\popsetup.exe"};
};

TEST_F(Pop3InstallTest, TheInstallFolderIsTheSettingOrTheProgramsOwnFolder) {
    EXPECT_EQ(GetInstallDirectory(), "C:\\Settings Program\\") << "no settings key";
    SetInstallDirectory("");
    EXPECT_EQ(GetInstallDirectory(), "C:\\Settings Program\\") << "an empty value";
    SetInstallDirectory("C:\\Vrel Server");
    EXPECT_EQ(GetInstallDirectory(), "C:\\Vrel Server") << "returned unchanged";
}

TEST_F(Pop3InstallTest, AFirstInstallationCreatesTheServiceWithoutADescription) {
    SetInstallDirectory("C:\\Vrel Server");
    PlaceServiceProgram();
    win::MessageBoxScript boxes;
    InstallPop3Service();
    EXPECT_TRUE(boxes.Shown().empty());
    const win::QUERY_SERVICE_CONFIG config = Config();
    EXPECT_EQ(config.lpDisplayName, "Vrel POP3 Service");
    EXPECT_EQ(config.dwServiceType, win::SERVICE_WIN32_OWN_PROCESS);
    EXPECT_EQ(config.dwStartType, win::SERVICE_AUTO_START);
    EXPECT_EQ(config.dwErrorControl, win::SERVICE_ERROR_NORMAL);
    EXPECT_EQ(config.lpBinaryPathName, "C:\\Vrel Server\\popservice.exe") << "unquoted, '\\' added";
    EXPECT_EQ(config.lpServiceStartName, "LocalSystem");
    EXPECT_FALSE(ServiceValue("Description"));
}

TEST_F(Pop3InstallTest, InstallingOverAForeignServiceRewritesOnlyImagePathAndDescription) {
    SetInstallDirectory("C:\\Vrel Server\\");
    PlaceServiceProgram();
    {
        const win::SC_HANDLE manager =
            win::OpenSCManager(nullptr, nullptr, win::SC_MANAGER_ALL_ACCESS);
        ASSERT_TRUE(win::CreateService(manager, kPop3ServiceName, "Someone Else's Service",
                                       win::SERVICE_ALL_ACCESS, win::SERVICE_WIN32_OWN_PROCESS,
                                       win::SERVICE_DEMAND_START, win::SERVICE_ERROR_IGNORE,
                                       "C:\\Elsewhere\\other.exe -x"));
    }
    win::MessageBoxScript boxes;
    InstallPop3Service();
    EXPECT_TRUE(boxes.Shown().empty());
    const win::QUERY_SERVICE_CONFIG config = Config();
    EXPECT_EQ(config.lpBinaryPathName, "C:\\Vrel Server\\popservice.exe");
    EXPECT_EQ(ServiceValue("Description"), "Sorts and delivers email messages to POP3 clients");
    EXPECT_EQ(config.lpDisplayName, "Someone Else's Service");
    EXPECT_EQ(config.dwStartType, win::SERVICE_DEMAND_START);
    EXPECT_EQ(config.dwErrorControl, win::SERVICE_ERROR_IGNORE);
}

TEST_F(Pop3InstallTest, AMissingServiceProgramIsReportedAndNothingIsMade) {
    SetInstallDirectory("C:\\Vrel Server");
    win::MessageBoxScript boxes;
    InstallPop3Service();
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, kMissingServiceMessage);
    EXPECT_FALSE(IsServiceInstalled(kPop3ServiceName));
}

TEST_F(Pop3InstallTest, TheServiceProgramIsLookedForBesideTheSettingsProgram) {
    fs::create_directories(machine_.DriveC() / "Settings Program");
    std::ofstream(machine_.DriveC() / "Settings Program" / "popservice") << "#!/bin/sh\n";
    InstallPop3Service();
    EXPECT_EQ(Config().lpBinaryPathName, "C:\\Settings Program\\popservice.exe");
}

TEST_F(Pop3InstallTest, RemovingARunningServiceStopsItWithTheBarThenDeletesIt) {
    ASSERT_TRUE(test::CreateTestService(kPop3ServiceName, "-stopdelay:500", "Vrel POP3 Service"));
    ASSERT_TRUE(StartServiceAndWait(kPop3ServiceName));
    std::vector<std::string> bars;
    SetServiceProgressDisplay(
        [&bars](const std::string& service, std::uint32_t) { bars.push_back(service); });
    win::MessageBoxScript boxes;
    RemovePop3Service();
    EXPECT_FALSE(bars.empty()) << "the stop wait ran";
    EXPECT_FALSE(IsServiceInstalled(kPop3ServiceName));
    EXPECT_TRUE(boxes.Shown().empty());
    RemovePop3Service();
    EXPECT_TRUE(boxes.Shown().empty()) << "removing what is not there is silent";
}

}  // namespace
}  // namespace vrel
