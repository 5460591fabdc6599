// Qt's file dialogs kept off the machine's store; see qt_gui.h.
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileSystemModel>
#include <QMimeDatabase>
#include <QSortFilterProxyModel>

#include "platform/fs.h"
#include "platform/qt_gui.h"

namespace win {
namespace {

// Icons and types from the name alone. Qt's own provider reads a file's first bytes to tell
// its type, and opening and closing one of the store's files would drop this process's
// locks on the store.
class NameOnlyIconProvider final : public QAbstractFileIconProvider {
  public:
    QIcon icon(IconType type) const override { return standard_.icon(type); }
    QIcon icon(const QFileInfo& info) const override {
        return standard_.icon(info.isDir() ? QAbstractFileIconProvider::Folder
                                           : QAbstractFileIconProvider::File);
    }
    QString type(const QFileInfo& info) const override {
        if (info.isDir()) return QStringLiteral("Folder");
        const QMimeType mime =
            QMimeDatabase().mimeTypeForFile(info.fileName(), QMimeDatabase::MatchExtension);
        return mime.comment().isEmpty() ? mime.name() : mime.comment();
    }

  private:
    QFileIconProvider standard_;
};

// Leaves the store's files out of the listing.
class StoreFilesHidden final : public QSortFilterProxyModel {
  public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

  protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override {
        const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (!files) return true;
        const QString path = files->filePath(files->index(row, 0, parent));
        return !IsStoreFile(std::filesystem::path(path.toStdString()));
    }
};

}  // namespace

void KeepOffTheStore(QFileDialog& dialog) {
    static NameOnlyIconProvider provider;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::DontUseCustomDirectoryIcons);
    dialog.setIconProvider(&provider);
    dialog.setProxyModel(new StoreFilesHidden(&dialog));
}

}  // namespace win
