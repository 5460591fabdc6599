// Support for the tests that run the SMTP service stand-in under the service control
// manager: a machine with the SMTP server's metabase node (default domain "example.test",
// a Domain child "other.test", the mailroot folders) and a free port for "smtp" in the
// services file, the service created from build/bin, and a plain TCP client that speaks
// SMTP lines to any local address.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "smtp_queue.h"
#include "test_services.h"

namespace vrel::test {

class SmtpClient {
  public:
    // source: the local address to connect from; "" lets the system choose.
    SmtpClient(const std::string& address, int port, const std::string& source = "");
    SmtpClient(const SmtpClient&) = delete;
    SmtpClient& operator=(const SmtpClient&) = delete;
    ~SmtpClient();

    void Send(std::string_view bytes);
    // One whole reply, all lines of a multi-line one; "" when none came within the wait.
    std::string Reply(std::chrono::milliseconds wait = std::chrono::seconds(10));
    // Sends a line with CR LF and returns the reply.
    std::string Command(const std::string& line);
    // True when the service closes the connection within the wait.
    bool WaitForClose(std::chrono::milliseconds wait = std::chrono::seconds(10));
    int LocalPort() const;

  private:
    std::string ReadLine(std::chrono::milliseconds wait);
    int handle_;
    std::string buffer_;
};

// The names in a host folder, sorted, without the temporary ones that begin with ".".
std::vector<std::string> Names(const std::filesystem::path& folder);
std::string ReadFile(const std::filesystem::path& file);
// Polls until the condition holds or the limit passes; returns the condition.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds limit = std::chrono::seconds(15));

// The queue entries kept for recipients of other domains.
std::vector<smtpsvc::QueueEntry> HeldForRemote(const std::filesystem::path& queue);

class SmtpServiceTest : public ServiceTest {
  protected:
    void SetUp() override;
    // Writes a free port for "smtp" into the services file.
    void UseFreePort();

    // Starts SMTPSVC and waits until it runs and accepts connections.
    void StartSmtp();
    void StopSmtp();
    // Ends the service's process with SIGKILL and waits until the manager sees it stopped.
    void KillSmtp();
    // The process of the running service.
    pid_t SmtpPid();
    SmtpClient Connect(const std::string& address = "127.0.0.1", const std::string& source = "");
    // Sends one message over a loopback connection; returns the reply to the end of DATA.
    std::string SendMail(const std::string& from, const std::vector<std::string>& to,
                         const std::string& text);

    // The host folder of a mailroot folder ("Drop", "Queue", "Pickup", "Badmail").
    std::filesystem::path Folder(const std::string& name) const;

    int port_ = 0;
};

}  // namespace vrel::test
