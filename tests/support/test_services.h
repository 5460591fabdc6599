// Support for tests that start services on their machine: a fixture whose teardown stops
// every service still active (a normal stop, then SIGKILL for one that does not stop) and
// fails the test on a sanitizer report in the services' logs under run/.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/scm.h"
#include "test_machine.h"

namespace vrel::test {

// The image path of a program of build/bin as Windows names it ("Z:\...\bin\X.exe").
std::string ProgramImagePath(const std::string& program);

// Creates a demand-start service that runs testservice under the name, with testservice's
// options (see testservice.cpp); an empty handle, with GetLastError set, when refused.
win::SC_HANDLE CreateTestService(const std::string& name, const std::string& options = "",
                                 const std::string& displayName = "");
// The service's current state, read once; 0 when it cannot be read.
win::DWORD ServiceState(const std::string& name);

// Stops every active service of the machine; kills those that do not stop in time.
void StopAllServices();
// The sanitizer reports in run/*.log, or the empty text.
std::string SanitizerReports();

// Whether a process (a test's own or one a server started) ends within the host time given.
bool EndsWithin(pid_t pid, std::chrono::milliseconds wait);

// Waits until the service reads the state or the limit passes; returns the last status.
win::SERVICE_STATUS WaitForState(const std::string& name, win::DWORD state,
                                 std::chrono::milliseconds limit = std::chrono::seconds(10));

// The popagent processes of this test's machine: the program's file is named popagent and
// the process runs with this test's VREL_MACHINE.
std::vector<pid_t> AgentsOfThisMachine();
// Kills them.
void KillAgentsOfThisMachine();

// Sends one message over SMTP on 127.0.0.1 (a client saying HELO, MAIL, RCPT, DATA, QUIT),
// checking each reply's code; the message text ends in CR LF and holds no lone ".".
void SendOverSmtp(int port, const std::string& sender, const std::string& recipient,
                  const std::string& message);

class ServiceTest : public MachineTest {
  protected:
    void TearDown() override;
};

}  // namespace vrel::test
