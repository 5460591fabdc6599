// sysocmgr: the machine's optional-components installer, run unattended as
// "sysocmgr.exe /i:<inf> /u:<answer file>". It knows one component, iis_smtp, switched on
// or off by the answer file's [Components] section.
//
// Trusts nothing of its command line or answer file: a missing or unreadable /i: or /u:
// file ends it with exit code 1 before anything is changed. Unknown lines and components
// are ignored, as unattended setup ignores them. Exit code 0 when the requested state is
// reached (a service that does not start is only noted on standard error).
#include <cstdio>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>

#include "platform/fs.h"
#include "platform/text.h"
#include "smtp_component.h"

namespace {

struct Switches {
    std::string infFile;
    std::string answerFile;
};

Switches ReadSwitches(int argc, char** argv) {
    Switches switches;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg.size() < 3 || (arg[0] != '/' && arg[0] != '-') || arg[2] != ':') continue;
        if (win::SameText(arg.substr(1, 1), "i")) switches.infFile = arg.substr(3);
        if (win::SameText(arg.substr(1, 1), "u")) switches.answerFile = arg.substr(3);
    }
    return switches;
}

// The iis_smtp entry of the [Components] section: true for "on", false for "off", nothing
// when absent or anything else.
std::optional<bool> SmtpComponentState(const std::string& answers) {
    std::istringstream lines(answers);
    std::string line;
    bool inComponents = false;
    std::optional<bool> state;
    while (std::getline(lines, line)) {
        const std::string text = win::Trim(line);
        if (text.starts_with('[')) {
            inComponents = win::SameText(text, "[Components]");
            continue;
        }
        const std::size_t equals = text.find('=');
        if (!inComponents || equals == std::string::npos) continue;
        if (!win::SameText(win::Trim(text.substr(0, equals)), "iis_smtp")) continue;
        const std::string value = win::Trim(text.substr(equals + 1));
        if (win::SameText(value, "on")) state = true;
        if (win::SameText(value, "off")) state = false;
    }
    return state;
}

int Fail(const char* text, const std::string& path) {
    std::fprintf(stderr, "sysocmgr: %s: %s\n", text, path.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    const Switches switches = ReadSwitches(argc, argv);
    if (switches.infFile.empty() || !win::FileExists(switches.infFile)) {
        return Fail("component file not found", switches.infFile);
    }
    const std::optional<std::string> answers = win::ReadWholeFile(switches.answerFile);
    if (switches.answerFile.empty() || !answers) {
        return Fail("answer file not found", switches.answerFile);
    }
    try {
        const std::optional<bool> smtp = SmtpComponentState(*answers);
        if (!smtp) return 0;
        return (*smtp ? sysocmgr::InstallSmtpComponent() : sysocmgr::RemoveSmtpComponent()) ? 0 : 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "sysocmgr: %s\n", error.what());
        return 1;
    }
}
