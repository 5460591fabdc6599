// The folder browser without the toolkit: scripts and the installed presenter; see
// folder_dialog.h.
#include "platform/folder_dialog.h"

#include <stdexcept>
#include <utility>

namespace win {
namespace {

struct FolderDialogState {
    FolderDialogPresenter presenter;
    FolderDialogScript* script = nullptr;
};

FolderDialogState& State() {
    static FolderDialogState state;
    return state;
}

}  // namespace

std::optional<std::string> BrowseForFolder(std::string_view caption) {
    FolderDialogState& state = State();
    if (FolderDialogScript* script = state.script) {
        script->shown_.emplace_back(caption);
        if (script->answers_.empty()) return std::nullopt;
        std::optional<std::string> answer = std::move(script->answers_.front());
        script->answers_.pop_front();
        return answer;
    }
    return state.presenter ? state.presenter(caption) : std::nullopt;
}

void SetFolderDialogPresenter(FolderDialogPresenter presenter) {
    State().presenter = std::move(presenter);
}

FolderDialogScript::FolderDialogScript(std::deque<std::optional<std::string>> answers)
    : answers_(std::move(answers)) {
    if (State().script) throw std::logic_error("FolderDialogScript: one at a time");
    State().script = this;
}

FolderDialogScript::~FolderDialogScript() {
    State().script = nullptr;
}

}  // namespace win
