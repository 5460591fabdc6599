// The SMTP component through the optional-components installer; see smtp_component.h.
#include "settings/smtp_component.h"

#include <string>
#include <utility>

#include "platform/dialogs.h"
#include "platform/fs.h"
#include "platform/paths.h"
#include "settings/programs.h"

namespace vrel {
namespace {

// Sets the working folder back to the one it was, on every way out.
class WorkingFolderRestorer {
  public:
    WorkingFolderRestorer() : saved_(win::GetCurrentDirectory()) {}
    WorkingFolderRestorer(const WorkingFolderRestorer&) = delete;
    WorkingFolderRestorer& operator=(const WorkingFolderRestorer&) = delete;
    ~WorkingFolderRestorer() { win::SetCurrentDirectory(saved_); }

  private:
    std::string saved_;
};

// Deletes the answer file on every way out.
class AnswerFile {
  public:
    explicit AnswerFile(std::string path) : path_(std::move(path)) {}
    AnswerFile(const AnswerFile&) = delete;
    AnswerFile& operator=(const AnswerFile&) = delete;
    ~AnswerFile() { win::DeleteFile(path_); }
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

void RunInstaller(const std::string& windowsFolder, const std::string& answerFile) {
    if (!RunAndWait("sysocmgr.exe /i:" + windowsFolder + "\\inf\\sysoc.inf /u:" + answerFile)) {
        win::ShowMessage("Failed to install SMTP service.");
    }
}

}  // namespace

void SetSmtpComponent(bool install) {
    const std::string windowsFolder = win::GetWindowsDirectory();
    if (windowsFolder.empty()) return;
    const WorkingFolderRestorer restorer;
    const std::string tempFolder = windowsFolder + "\\temp";
    win::ForceDirectories(tempFolder);
    if (!win::DirectoryExists(tempFolder) || !win::SetCurrentDirectory(tempFolder)) return;
    const std::string name = win::CreateTempFileName(win::GetCurrentDirectory());
    if (name.empty()) return;
    const AnswerFile answers(tempFolder + "\\" + name);
    win::WriteWholeFile(answers.Path(), std::string("[Components]\r\n\r\niis_smtp = ") +
                                            (install ? "on" : "off") + "\r\n");
    RunInstaller(windowsFolder, answers.Path());
}

}  // namespace vrel
