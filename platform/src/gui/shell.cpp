// ShellExecute through the installed opener; see shell.h.
#include "platform/shell.h"

#include <stdexcept>
#include <utility>

namespace win {
namespace {

struct ShellState {
    ShellOpener opener;
    ShellRecorder* recorder = nullptr;
};

ShellState& State() {
    static ShellState state;
    return state;
}

constexpr HINSTANCE kOpened = 42;
constexpr HINSTANCE kFileNotFound = 2;

}  // namespace

HINSTANCE ShellExecute(std::string_view operation, std::string_view file,
                       std::string_view parameters, std::string_view directory, int showCmd) {
    const ShellRequest request{std::string(operation), std::string(file), std::string(parameters),
                               std::string(directory), showCmd};
    ShellState& state = State();
    if (state.recorder) {
        state.recorder->requests_.push_back(request);
        return state.recorder->result_;
    }
    if (!state.opener) return SE_ERR_NOASSOC;
    return state.opener(request) ? kOpened : kFileNotFound;
}

void SetShellOpener(ShellOpener opener) {
    State().opener = std::move(opener);
}

ShellRecorder::ShellRecorder(HINSTANCE result) : result_(result) {
    if (State().recorder) throw std::logic_error("ShellRecorder: one at a time");
    State().recorder = this;
}

ShellRecorder::~ShellRecorder() {
    State().recorder = nullptr;
}

}  // namespace win
