// The shell's folder browser (SHBrowseForFolder rooted at the desktop, then
// SHGetPathFromIDList): the user picks a folder and gets its Windows path. The window itself
// is drawn by the GUI part (platform_qt's InstallQtDialogs installs it); this part holds no
// GUI code.
//
// Tests answer it instead of a user, as they answer message boxes: while a FolderDialogScript
// lives, every browser is recorded by its caption and answered from the script's queue (no
// choice when the queue is empty), and nothing is shown. Without a script and without an
// installed GUI part, the browser ends with no choice.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace win {

// The chosen folder's Windows path, or nullopt when the user cancelled.
std::optional<std::string> BrowseForFolder(std::string_view caption);

using FolderDialogPresenter = std::function<std::optional<std::string>(std::string_view caption)>;
void SetFolderDialogPresenter(FolderDialogPresenter presenter);

class FolderDialogScript {
  public:
    explicit FolderDialogScript(std::deque<std::optional<std::string>> answers = {});
    FolderDialogScript(const FolderDialogScript&) = delete;
    FolderDialogScript& operator=(const FolderDialogScript&) = delete;
    ~FolderDialogScript();

    // A folder's Windows path, or nullopt for Cancel.
    void Answer(std::optional<std::string> folder) { answers_.push_back(std::move(folder)); }
    // The caption of every browser shown, in order.
    const std::vector<std::string>& Shown() const { return shown_; }

  private:
    friend std::optional<std::string> BrowseForFolder(std::string_view caption);
    std::deque<std::optional<std::string>> answers_;
    std::vector<std::string> shown_;
};

}  // namespace win
