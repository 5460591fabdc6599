// Service control for the settings program: whether a service is installed or running, and
// start or stop with a bounded wait (30000 ms of the machine's clock from the operation's
// start) during which a moving bar is drawn over the service's row of the status list.
//
// Everything runs on the UI thread and blocks it; no operation shows a message, a failure
// only gives false.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

class QPainter;

namespace vcl {
class TOwnerDrawListBox;
}

namespace vrel {

inline constexpr const char* kSmtpServiceName = "SMTPSVC";
inline constexpr const char* kPop3ServiceName = "vrelP3Service";

bool IsServiceInstalled(const std::string& serviceName);
bool IsServiceRunning(const std::string& serviceName);
bool StartServiceAndWait(const std::string& serviceName);
bool StopServiceAndWait(const std::string& serviceName);

// The waits pause through the progress display for each wait hint. The main window installs
// its DrawServiceProgress while it lives; without one the wait only sleeps the same frames.
using ServiceProgressDisplay =
    std::function<void(const std::string& serviceName, std::uint32_t waitTime)>;
void SetServiceProgressDisplay(ServiceProgressDisplay display);

// The body of TPopDlg::DrawServiceProgress: clears the list's selection, then draws one
// frame over the service's row every 100 ms until the wait time is used up (250 ms: three
// frames); progressOffset carries the bar's position from frame to frame and from wait to
// wait.
void DrawServiceProgress(vcl::TOwnerDrawListBox& list, std::int32_t& progressOffset,
                         const std::string& serviceName, std::uint32_t waitTime);

// One frame over row 0 (the SMTP service: "SmtpSvc" in any case) or row 1, for a list of
// the given outer width and item height.
int ProgressRow(const std::string& serviceName);
void DrawProgressFrame(QPainter& canvas, int listWidth, int itemHeight, int row,
                       std::int32_t& progressOffset);

}  // namespace vrel
