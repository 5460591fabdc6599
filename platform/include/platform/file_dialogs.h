// The component library's file open and save dialogs (TOpenDialog, TSaveDialog) for the suite's
// windows. As with message boxes (dialogs.h), the dialog itself is drawn by the GUI part, which
// a program with windows installs at start-up; this part holds no GUI code.
//
// The dialog answers a host file (the toolkit knows only the host's files); Execute hands it
// back as a Windows path (paths.h: drive_c on C:, everything else on Z:), with DefaultExt
// appended when the chosen name has no extension. Neither dialog asks about overwriting or
// insists that the file exists: the callers decide that themselves.
//
// Tests answer dialogs instead of a user: while a FileDialogScript lives, every dialog is
// recorded and answered from its queue (Cancel when the queue is empty), and nothing is shown.
// Without a script and without an installed GUI part, a dialog is cancelled.
#pragma once

#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace win {

// One dialog as asked for. Filter is in the library's form: "Text (*.txt)|*.txt|All|*.*".
struct FileDialogRecord {
    bool save = false;
    std::string title;
    std::string filter;
    std::string defaultExt;
    std::string initialDir;
    std::string fileName;
};

// What the GUI part installs: shows the dialog; the host file chosen, or nothing on Cancel.
using FileDialogPresenter =
    std::function<std::optional<std::filesystem::path>(const FileDialogRecord&)>;
void SetFileDialogPresenter(FileDialogPresenter presenter);

class TFileDialog {
  public:
    std::string DefaultExt;
    std::string Filter;
    std::string FileName;  // the Windows path chosen, after Execute returned true
    std::string InitialDir;
    std::string Title;

    // Shows the dialog; false on Cancel (FileName then keeps what it held).
    bool Execute();

  protected:
    explicit TFileDialog(bool save) : save_(save) {}

  private:
    bool save_;
};

class TOpenDialog : public TFileDialog {
  public:
    TOpenDialog() : TFileDialog(false) {}
};

class TSaveDialog : public TFileDialog {
  public:
    TSaveDialog() : TFileDialog(true) {}
};

// For tests: while it lives, dialogs are recorded and answered from its queue; one at a time.
class FileDialogScript {
  public:
    FileDialogScript();
    FileDialogScript(const FileDialogScript&) = delete;
    FileDialogScript& operator=(const FileDialogScript&) = delete;
    ~FileDialogScript();

    // The next dialog chooses this host file.
    void Answer(std::filesystem::path hostFile) { answers_.emplace_back(std::move(hostFile)); }
    // The next dialog is cancelled.
    void Cancel() { answers_.emplace_back(std::nullopt); }
    const std::vector<FileDialogRecord>& Shown() const { return shown_; }

  private:
    friend class TFileDialog;
    std::deque<std::optional<std::filesystem::path>> answers_;
    std::vector<FileDialogRecord> shown_;
};

}  // namespace win
