// ShellExecute: opening a document or a web address with the program the desktop chooses.
//
// The request goes to the installed opener (vcl::InstallShell installs QDesktopServices);
// tests record it instead with a ShellRecorder, which answers with the result it was given.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace win {

inline constexpr int SW_SHOWNORMAL = 1;
inline constexpr int SW_SHOW = 5;

// As ShellExecute answers: a value above 32 on success, an error code (2 file not found,
// 31 no association) otherwise.
using HINSTANCE = std::intptr_t;
inline constexpr HINSTANCE SE_ERR_NOASSOC = 31;

struct ShellRequest {
    std::string operation;  // "open"
    std::string file;       // a path or a web address
    std::string parameters;
    std::string directory;
    int showCmd = SW_SHOWNORMAL;
};

HINSTANCE ShellExecute(std::string_view operation, std::string_view file,
                       std::string_view parameters = {}, std::string_view directory = {},
                       int showCmd = SW_SHOWNORMAL);

// What the desktop part installs: opens the request, true when it could.
using ShellOpener = std::function<bool(const ShellRequest&)>;
void SetShellOpener(ShellOpener opener);

// For tests: while it lives, requests are recorded and answered with Result; one at a time.
class ShellRecorder {
  public:
    explicit ShellRecorder(HINSTANCE result = 42);
    ShellRecorder(const ShellRecorder&) = delete;
    ShellRecorder& operator=(const ShellRecorder&) = delete;
    ~ShellRecorder();
    const std::vector<ShellRequest>& Requests() const { return requests_; }

  private:
    friend HINSTANCE ShellExecute(std::string_view, std::string_view, std::string_view,
                                  std::string_view, int);
    HINSTANCE result_;
    std::vector<ShellRequest> requests_;
};

}  // namespace win
