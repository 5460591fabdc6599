// Service control and the progress bar over the status list; see service_control.h.
#include "settings/service_control.h"

#include <QPainter>
#include <utility>

#include "platform/clock.h"
#include "platform/scm.h"
#include "platform/text.h"
#include "platform/vcl.h"

namespace vrel {
namespace {

using win::DWORD;

constexpr std::uint32_t kTimeLimit = 30000;
constexpr std::uint32_t kFrameTime = 100;
constexpr int kBarLength = 34;

// The manager and the service, both with full access; the handles close themselves, the
// service first (members go in reverse order).
struct OpenedService {
    win::SC_HANDLE manager;
    win::SC_HANDLE service;

    explicit OpenedService(const std::string& name)
        : manager(win::OpenSCManagerA(nullptr, nullptr, win::SC_MANAGER_ALL_ACCESS)) {
        if (manager) service = win::OpenServiceA(manager, name, win::SERVICE_ALL_ACCESS);
    }
    explicit operator bool() const { return static_cast<bool>(service); }
};

ServiceProgressDisplay& ProgressDisplay() {
    static ServiceProgressDisplay display;
    return display;
}

// The wait of one pass: through the window's progress bar, or the same frames unseen.
void ShowProgress(const std::string& serviceName, std::uint32_t waitTime) {
    if (ProgressDisplay()) {
        ProgressDisplay()(serviceName, waitTime);
        return;
    }
    for (std::int64_t left = waitTime; left > 0; left -= kFrameTime) win::Sleep(kFrameTime);
}

bool TimeIsUp(std::uint32_t start) {
    return win::GetTickCount() - start > kTimeLimit;
}

// Passes of progress and query until the state is reached; false on a failed query or when
// the limit has passed.
bool WaitForState(OpenedService& opened, const std::string& serviceName,
                  win::SERVICE_STATUS& status, DWORD state, std::uint32_t start) {
    while (status.dwCurrentState != state) {
        ShowProgress(serviceName, status.dwWaitHint);
        if (!win::QueryServiceStatus(opened.service, status)) return false;
        if (TimeIsUp(start)) return false;
    }
    return true;
}

}  // namespace

bool IsServiceInstalled(const std::string& serviceName) {
    return static_cast<bool>(OpenedService(serviceName));
}

bool IsServiceRunning(const std::string& serviceName) {
    OpenedService opened(serviceName);
    win::SERVICE_STATUS status;
    return opened && win::QueryServiceStatus(opened.service, status) &&
           status.dwCurrentState == win::SERVICE_RUNNING;
}

bool StartServiceAndWait(const std::string& serviceName) {
    const std::uint32_t start = win::GetTickCount();
    OpenedService opened(serviceName);
    win::SERVICE_STATUS status;
    if (!opened || !win::QueryServiceStatus(opened.service, status)) return false;
    if (status.dwCurrentState == win::SERVICE_RUNNING) return true;
    if (!win::StartServiceA(opened.service)) return false;
    return WaitForState(opened, serviceName, status, win::SERVICE_RUNNING, start);
}

bool StopServiceAndWait(const std::string& serviceName) {
    const std::uint32_t start = win::GetTickCount();
    OpenedService opened(serviceName);
    win::SERVICE_STATUS status;
    if (!opened || !win::QueryServiceStatus(opened.service, status)) return false;
    if (status.dwCurrentState == win::SERVICE_STOPPED) return true;
    while (status.dwCurrentState == win::SERVICE_STOP_PENDING) {
        win::Sleep(status.dwWaitHint);
        if (!win::QueryServiceStatus(opened.service, status) || TimeIsUp(start)) return false;
    }
    if (!win::ControlService(opened.service, win::SERVICE_CONTROL_STOP, status)) return false;
    return WaitForState(opened, serviceName, status, win::SERVICE_STOPPED, start);
}

void SetServiceProgressDisplay(ServiceProgressDisplay display) {
    ProgressDisplay() = std::move(display);
}

int ProgressRow(const std::string& serviceName) {
    return win::SameText(serviceName, "SmtpSvc") ? 0 : 1;
}

void DrawProgressFrame(QPainter& canvas, int listWidth, int itemHeight, int row,
                       std::int32_t& progressOffset) {
    const int left = 30, top = itemHeight * row + 1;
    const int right = listWidth - 10, bottom = itemHeight * (row + 1) - 1;
    const QColor window = vcl::WindowColor();
    vcl::FillRect(canvas, left, top, right, bottom, window);
    canvas.setBrush(window);
    canvas.setPen(QColor(192, 192, 192));
    vcl::Rectangle(canvas, left + 1, top + 1, right, bottom);
    canvas.setPen(Qt::black);
    vcl::Rectangle(canvas, left, top, right - 1, bottom - 1);

    progressOffset += 4;
    if (progressOffset > (right - left) + kBarLength) progressOffset = 4;
    const int x1 = progressOffset < kBarLength ? left + 2 : left + progressOffset - 36;
    const int x2 = left + progressOffset > right ? right - 2 : left + progressOffset - 2;
    vcl::FillRect(canvas, x1, top + 2, x2, bottom - 3, QColor(0, 0, 255));

    canvas.setPen(window);
    for (int x = x1 + 10; x < x2; x += 12) vcl::Rectangle(canvas, x, top + 2, x + 2, bottom - 3);
}

void DrawServiceProgress(vcl::TOwnerDrawListBox& list, std::int32_t& progressOffset,
                         const std::string& serviceName, std::uint32_t waitTime) {
    const int row = ProgressRow(serviceName);
    list.SetItemIndex(-1);
    for (std::int64_t left = waitTime; left > 0; left -= kFrameTime) {
        DrawProgressFrame(list.Canvas(), list.width(), list.ItemHeight(), row, progressOffset);
        list.ShowCanvasNow();
        win::Sleep(kFrameTime);
    }
}

}  // namespace vrel
