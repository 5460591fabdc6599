// The folder browser drawn as Qt's folder chooser; see qt_gui.h.
#include <QFileDialog>

#include "platform/folder_dialog.h"
#include "platform/paths.h"
#include "platform/qt_gui.h"

namespace win {

void InstallQtFolderDialog() {
    SetFolderDialogPresenter([](std::string_view caption) -> std::optional<std::string> {
        QFileDialog dialog(nullptr, ToQString(caption));
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly);
        KeepOffTheStore(dialog);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
            return std::nullopt;
        }
        return ToWindowsPath(dialog.selectedFiles().front().toStdString());
    });
}

}  // namespace win
