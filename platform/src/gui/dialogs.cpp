// Message boxes without the toolkit: button sets, scripts and the installed presenter; see
// dialogs.h.
#include "platform/dialogs.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <utility>

namespace win {
namespace {

struct DialogState {
    MessageBoxPresenter presenter;
    MessageBoxScript* script = nullptr;
    std::string applicationTitle;
    std::size_t fileAnswersUsed = 0;
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

constexpr std::pair<int, const char*> kButtonNames[] = {
    {IDOK, "IDOK"},         {IDCANCEL, "IDCANCEL"}, {IDABORT, "IDABORT"}, {IDRETRY, "IDRETRY"},
    {IDIGNORE, "IDIGNORE"}, {IDYES, "IDYES"},       {IDNO, "IDNO"},
};

const char* ButtonName(int id) {
    for (const auto& [button, name] : kButtonNames) {
        if (button == id) return name;
    }
    return "?";
}

// The answer a line "answer NAME" gives, or 0 for any other line.
int AnswerOf(const std::string& line) {
    constexpr std::string_view kPrefix = "answer ";
    if (line.rfind(kPrefix, 0) != 0) return 0;
    const std::string_view name = std::string_view(line).substr(kPrefix.size());
    for (const auto& [button, text] : kButtonNames) {
        if (name == text) return button;
    }
    return 0;
}

// One line: control characters of the texts written as \n, \r, \t and \\.
std::string Escaped(std::string_view text) {
    std::string line;
    for (const char c : text) {
        switch (c) {
            case '\n':
                line += "\\n";
                break;
            case '\r':
                line += "\\r";
                break;
            case '\t':
                line += "\\t";
                break;
            case '\\':
                line += "\\\\";
                break;
            default:
                line += c;
        }
    }
    return line;
}

// The box answered from the script file: the next of its "answer" lines not used yet by this
// process (the default button when none is left), and a "box" line appended for it.
int PresentFromFile(const std::string& path, const MessageBoxRecord& record) {
    DialogState& state = State();
    std::vector<int> answers;
    {
        std::ifstream file(path);
        for (std::string line; std::getline(file, line);) {
            if (const int answer = AnswerOf(line)) answers.push_back(answer);
        }
    }
    const int answer = state.fileAnswersUsed < answers.size() ? answers[state.fileAnswersUsed++]
                                                              : record.defaultButton;
    std::string buttons;
    for (const int button : record.buttons)
        buttons += std::string(buttons.empty() ? "" : ",") + ButtonName(button);
    std::ofstream(path, std::ios::app)
        << "box\t" << Escaped(record.caption) << '\t' << Escaped(record.text) << '\t' << record.icon
        << '\t' << buttons << '\t' << ButtonName(answer) << '\n';
    return answer;
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
    if (const char* file = std::getenv("VREL_MESSAGEBOX_SCRIPT"); file && *file) {
        return PresentFromFile(file, record);
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
