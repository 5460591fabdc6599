// IsAdministrator and ChooseHelpFile; see start_up.h.
#include "settings/start_up.h"

#include <cstdlib>
#include <memory>

#include "common/settings_key.h"
#include "platform/dialogs.h"
#include "platform/fs.h"
#include "platform/help.h"
#include "platform/paths.h"
#include "platform/token.h"
#include "settings/programs.h"
#include "settings/splash_unit.h"

namespace vrel {
namespace {

// The token of the thread, or of the process when the thread has none.
std::unique_ptr<win::AccessToken> QueryToken() {
    std::unique_ptr<win::AccessToken> token;
    if (win::OpenThreadToken(win::TOKEN_QUERY, false, token)) return token;
    if (win::GetLastError() != win::ERROR_NO_TOKEN) return nullptr;
    if (!win::OpenProcessToken(win::TOKEN_QUERY, token)) return nullptr;
    return token;
}

// Frees what the walk allocated on every way out.
struct SidFree {
    void operator()(void* sid) const { win::FreeSid(sid); }
};

bool ListsAdministrators(const win::TOKEN_GROUPS& groups) {
    win::PSID administrators = nullptr;
    if (!win::AllocateAndInitializeSid({{0, 0, 0, 0, 0, 5}}, 2, win::SECURITY_BUILTIN_DOMAIN_RID,
                                       win::DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                       &administrators)) {
        return false;
    }
    const std::unique_ptr<void, SidFree> owned(administrators);
    for (win::DWORD i = 0; i < groups.GroupCount; ++i) {
        if (win::EqualSid(groups.Groups[i].Sid, administrators)) return true;
    }
    return false;
}

}  // namespace

bool IsAdministrator() {
    const std::unique_ptr<win::AccessToken> token = QueryToken();
    if (!token) return false;
    win::DWORD size = 0;
    if (win::GetTokenInformation(*token, win::TokenGroups, nullptr, 0, &size) ||
        win::GetLastError() != win::ERROR_INSUFFICIENT_BUFFER) {
        return false;
    }
    const std::unique_ptr<void, decltype(&std::free)> buffer(std::malloc(size), &std::free);
    if (!buffer || !win::GetTokenInformation(*token, win::TokenGroups, buffer.get(), size, &size)) {
        return false;
    }
    return ListsAdministrators(*static_cast<const win::TOKEN_GROUPS*>(buffer.get()));
}

std::string ChooseHelpFile() {
    const std::string windows = win::GetWindowsDirectory();
    std::string helpFile = windows.empty() ? "" : windows + "\\Help\\" + kHelpFileName;
    if (helpFile.empty() || !win::FileExists(helpFile)) {
        helpFile = ProgramFolder() + kHelpFileName;
        if (!win::FileExists(helpFile)) {
            win::MessageDlg(
                "Can't find the help file. If this message persists, use "
                "Add/Remove Programs from the Control Panel to repair the software.",
                win::mtWarning, win::mbOK, 0);
        }
    }
    return helpFile;
}

bool PrepareStart() {
    if (GetShowSplashScreen()) {
        SplashScnForm = new TSplashScnForm;
        SplashScnForm->show();
        SplashScnForm->repaint();
    }
    win::SetHelpFile(ChooseHelpFile());
    if (IsAdministrator()) return true;
    win::ShowMessage("This program requires Administrator privileges, exiting ...");
    return false;
}

}  // namespace vrel
