// Message boxes without the toolkit: button sets, scripts and the installed presenter; see
// dialogs.h.
#include "platform/dialogs.h"

#include <cstdlib>
#include <stdexcept>
#include <utility>

namespace win {
namespace {

struct DialogState {
    MessageBoxPresenter presenter;
    MessageBoxScript* script = nullptr;
    std::string applicationTitle;
};

DialogState& State() {
    static DialogState state;
    return state;
}

bool HasEnv(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

std::vector<int> ButtonsOf(UINT type) {
    switch (type & MB_TYPEMASK) {
        case MB_OKCANCEL:
            return {IDOK, IDCANCEL};
        case MB_ABORTRETRYIGNORE:
            return {IDABORT, IDRETRY, IDIGNORE};
        case MB_YESNOCANCEL:
            return {IDYES, IDNO, IDCANCEL};
        case MB_YESNO:
            return {IDYES, IDNO};
        case MB_RETRYCANCEL:
            return {IDRETRY, IDCANCEL};
        default:
            return {IDOK};
    }
}

}  // namespace

// Shared with MessageBoxScript, whose members it fills.
int Present(const MessageBoxRecord& record) {
    DialogState& state = State();
    if (MessageBoxScript* script = state.script) {
        script->shown_.push_back(record);
        if (script->answers_.empty()) return record.defaultButton;
        const int answer = script->answers_.front();
        script->answers_.pop_front();
        return answer;
    }
    return state.presenter ? state.presenter(record) : record.defaultButton;
}

int MessageBox(std::string_view text, std::string_view caption, UINT type) {
    MessageBoxRecord record{std::string(text), std::string(caption), type & MB_ICONMASK,
                            ButtonsOf(type), IDOK};
    const std::size_t index = (type & MB_DEFMASK) >> 8;
    record.defaultButton = record.buttons[index < record.buttons.size() ? index : 0];
    return Present(record);
}

int MessageDlg(std::string_view text, TMsgDlgType type, TMsgDlgButtons buttons, int helpContext) {
    (void)helpContext;
    static constexpr struct {
        const char* caption;
        UINT icon;
    } kTypes[] = {{"Warning", MB_ICONWARNING},
                  {"Error", MB_ICONERROR},
                  {"Information", MB_ICONINFORMATION},
                  {"Confirm", MB_ICONQUESTION},
                  {nullptr, 0}};
    static constexpr std::pair<TMsgDlgBtn, int> kButtons[] = {
        {mbYes, IDYES},     {mbNo, IDNO},       {mbOK, IDOK},         {mbCancel, IDCANCEL},
        {mbAbort, IDABORT}, {mbRetry, IDRETRY}, {mbIgnore, IDIGNORE},
    };
    MessageBoxRecord record;
    record.text = text;
    record.caption = kTypes[type].caption ? kTypes[type].caption : State().applicationTitle;
    record.icon = kTypes[type].icon;
    for (const auto& [button, id] : kButtons) {
        if (buttons & button) record.buttons.push_back(id);
    }
    if (record.buttons.empty()) throw std::invalid_argument("MessageDlg: no buttons");
    const auto has = [&buttons](TMsgDlgBtn button) { return (buttons & button) != 0; };
    record.defaultButton = has(mbOK)      ? IDOK
                           : has(mbYes)   ? IDYES
                           : has(mbRetry) ? IDRETRY
                                          : record.buttons.front();
    return Present(record);
}

void ShowMessage(std::string_view text) {
    Present(MessageBoxRecord{std::string(text), State().applicationTitle, 0, {IDOK}, IDOK});
}

void SetMessageBoxPresenter(MessageBoxPresenter presenter) {
    State().presenter = std::move(presenter);
}

void SetApplicationTitle(std::string_view title) {
    State().applicationTitle = title;
}

std::string ApplicationTitle() {
    return State().applicationTitle;
}

bool DisplayAvailable() {
    return HasEnv("DISPLAY") || HasEnv("WAYLAND_DISPLAY") || HasEnv("QT_QPA_PLATFORM");
}

MessageBoxScript::MessageBoxScript(std::deque<int> answers) : answers_(std::move(answers)) {
    if (State().script) throw std::logic_error("MessageBoxScript: one at a time");
    State().script = this;
}

MessageBoxScript::~MessageBoxScript() {
    State().script = nullptr;
}

}  // namespace win
