// The folder browser drawn as Qt's folder chooser; see qt_gui.h.
#include <QFileDialog>
#include <QList>
#include <QUrl>

#include "platform/folder_dialog.h"
#include "platform/paths.h"
#include "platform/qt_gui.h"

namespace win {
namespace {

// The shell's desktop as the machine has it: its drives in letter order.
QList<QUrl> MachineDrives() {
    QList<QUrl> drives;
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        const std::filesystem::path root = ToHostPath(std::string{letter, ':', '\\'});
        if (!root.empty()) drives << QUrl::fromLocalFile(QString::fromStdString(root.string()));
    }
    return drives;
}

// Rooted at the desktop, not at the process's current folder: it opens on the first drive,
// with every drive beside it.
std::optional<std::string> ShowFolderDialog(std::string_view caption) {
    QFileDialog dialog(nullptr, ToQString(caption));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    KeepOffTheStore(dialog);
    const QList<QUrl> drives = MachineDrives();
    dialog.setSidebarUrls(drives);
    if (!drives.isEmpty()) dialog.setDirectoryUrl(drives.front());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return ToWindowsPath(dialog.selectedFiles().front().toStdString());
}

}  // namespace

void InstallQtFolderDialog() {
    SetFolderDialogPresenter(ShowFolderDialog);
}

}  // namespace win
