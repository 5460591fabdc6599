// File dialogs without the toolkit: scripts, the installed presenter and the path handed
// back; see file_dialogs.h.
#include "platform/file_dialogs.h"

#include <stdexcept>
#include <utility>

#include "platform/paths.h"

namespace win {
namespace {

struct FileDialogState {
    FileDialogPresenter presenter;
    FileDialogScript* script = nullptr;
};

FileDialogState& State() {
    static FileDialogState state;
    return state;
}

bool HasExtension(const std::string& windowsPath) {
    const std::size_t name = windowsPath.find_last_of("\\/:");
    const std::size_t dot = windowsPath.rfind('.');
    return dot != std::string::npos && (name == std::string::npos || dot > name);
}

}  // namespace

bool TFileDialog::Execute() {
    const FileDialogRecord record{save_, Title, Filter, DefaultExt, InitialDir, FileName};
    std::optional<std::filesystem::path> chosen;
    FileDialogState& state = State();
    if (FileDialogScript* script = state.script) {
        script->shown_.push_back(record);
        if (!script->answers_.empty()) {
            chosen = std::move(script->answers_.front());
            script->answers_.pop_front();
        }
    } else if (state.presenter) {
        chosen = state.presenter(record);
    }
    if (!chosen) return false;
    FileName = ToWindowsPath(*chosen);
    if (!DefaultExt.empty() && !HasExtension(FileName)) FileName += "." + DefaultExt;
    return true;
}

void SetFileDialogPresenter(FileDialogPresenter presenter) {
    State().presenter = std::move(presenter);
}

FileDialogScript::FileDialogScript() {
    if (State().script) throw std::logic_error("FileDialogScript: one at a time");
    State().script = this;
}

FileDialogScript::~FileDialogScript() {
    State().script = nullptr;
}

}  // namespace win
