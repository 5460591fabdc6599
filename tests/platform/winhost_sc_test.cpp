// winhost sc, boot and eventlog: the admin's view of the service control manager.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <fstream>
#include <sstream>
#include <thread>

#include "platform/scm.h"
#include "store/machine.h"
#include "test_services.h"

extern char** environ;

namespace {

using namespace win;
using vrel::test::RunProgram;
using vrel::test::WaitForState;

class WinhostScTest : public vrel::test::ServiceTest {
  protected:
    static std::string Create(const std::string& name, const std::string& start) {
        return RunProgram("winhost", "sc create " + name + " binPath= '" +
                                         vrel::test::ProgramImagePath("testservice") +
                                         " -name:" + name + "' DisplayName= 'Test " + name +
                                         "' start= " + start)
            .output;
    }
};

TEST_F(WinhostScTest, CreateStartQueryStopDelete) {
    EXPECT_EQ(Create("Admin", "auto"), "[SC] CreateService SUCCESS\n");
    EXPECT_NE(
        RunProgram("winhost", "sc qc Admin").output.find("START_TYPE         : 2   AUTO_START"),
        std::string::npos);
    const auto started = RunProgram("winhost", "sc start Admin");
    EXPECT_EQ(started.exitCode, 0);
    EXPECT_NE(started.output.find("SERVICE_NAME: Admin"), std::string::npos) << started.output;
    EXPECT_NE(started.output.find("PID                : "), std::string::npos) << started.output;
    ASSERT_EQ(WaitForState("Admin", SERVICE_RUNNING).dwCurrentState, SERVICE_RUNNING);
    EXPECT_NE(
        RunProgram("winhost", "sc query Admin").output.find("STATE              : 4  RUNNING"),
        std::string::npos);
    const auto again = RunProgram("winhost", "sc start Admin");
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_EQ(
        again.output,
        "[SC] StartService FAILED 1056:\n\nAn instance of the service is already running.\n\n");
    EXPECT_NE(RunProgram("winhost", "sc query").output.find("DISPLAY_NAME: Test Admin"),
              std::string::npos);
    EXPECT_EQ(RunProgram("winhost", "sc stop Admin").exitCode, 0);
    ASSERT_EQ(WaitForState("Admin", SERVICE_STOPPED).dwCurrentState, SERVICE_STOPPED);
    EXPECT_EQ(RunProgram("winhost", "sc query").output, "") << "only active services by default";
    EXPECT_EQ(RunProgram("winhost", "sc delete Admin").output, "[SC] DeleteService SUCCESS\n");
    EXPECT_NE(RunProgram("winhost", "sc query Admin").output.find("FAILED 1060"),
              std::string::npos);
}

TEST_F(WinhostScTest, EventLogPrintsTheServicesLines) {
    Create("Logger", "demand");
    ASSERT_EQ(RunProgram("winhost", "sc start Logger").exitCode, 0);
    ASSERT_EQ(WaitForState("Logger", SERVICE_RUNNING).dwCurrentState, SERVICE_RUNNING);
    const std::string output = RunProgram("winhost", "eventlog").output;
    EXPECT_NE(output.find("  Information  Logger: Test service started\n"), std::string::npos)
        << output;
}

// A winhost boot running in the background with its output in a file; killed if still alive.
class BootProcess {
  public:
    explicit BootProcess(const std::filesystem::path& output) : output_(output) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        const std::string program = (vrel::test::BinFolder() / "winhost").string();
        char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>("boot"), nullptr};
        if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv, environ) != 0) pid_ = 0;
        posix_spawn_file_actions_destroy(&actions);
    }
    BootProcess(const BootProcess&) = delete;
    BootProcess& operator=(const BootProcess&) = delete;
    ~BootProcess() {
        if (pid_ == 0) return;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }

    bool WaitForOutput(const std::string& text) const {
        for (int i = 0; i < 1000; ++i) {
            if (Output().find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    std::string Output() const {
        std::stringstream text;
        text << std::ifstream(output_).rdbuf();
        return text.str();
    }
    // Sends SIGTERM and returns the exit code.
    int Terminate() {
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = 0;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

  private:
    std::filesystem::path output_;
    pid_t pid_ = 0;
};

TEST_F(WinhostScTest, BootStartsAutomaticServicesAndStopsThemOnSigterm) {
    Create("AutoOne", "auto");
    Create("AutoTwo", "auto");
    Create("ByHand", "demand");
    BootProcess boot(machine_.Folder() / "boot.out");
    ASSERT_TRUE(boot.WaitForOutput("boot: running")) << boot.Output();
    EXPECT_EQ(WaitForState("AutoOne", SERVICE_RUNNING).dwCurrentState, SERVICE_RUNNING);
    EXPECT_EQ(WaitForState("AutoTwo", SERVICE_RUNNING).dwCurrentState, SERVICE_RUNNING);
    EXPECT_EQ(WaitForState("ByHand", SERVICE_STOPPED).dwCurrentState, SERVICE_STOPPED);

    EXPECT_EQ(boot.Terminate(), 0) << boot.Output();
    EXPECT_NE(boot.Output().find("boot: all services stopped"), std::string::npos);
    const std::string events = RunProgram("winhost", "eventlog").output;
    EXPECT_NE(events.find("AutoOne: Test service stopped"), std::string::npos) << events;
    EXPECT_NE(events.find("AutoTwo: Test service stopped"), std::string::npos) << events;
}

}  // namespace
