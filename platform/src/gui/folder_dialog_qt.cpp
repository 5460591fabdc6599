// The folder browser drawn as Qt's folder chooser; see qt_gui.h.
#include <QFileDialog>

#include "platform/folder_dialog.h"
#include "platform/paths.h"
#include "platform/qt_gui.h"

namespace win {

void InstallQtFolderDialog() {
    SetFolderDialogPresenter([](std::string_view caption) -> std::optional<std::string> {
        const QString folder = QFileDialog::getExistingDirectory(
            nullptr, ToQString(caption), QString(), QFileDialog::ShowDirsOnly);
        if (folder.isEmpty()) return std::nullopt;
        return ToWindowsPath(folder.toStdString());
    });
}

}  // namespace win
