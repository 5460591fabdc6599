// QMessageBox presenter, the message-queue pump for Qt's loop and the forms' font; see
// qt_gui.h and vcl.h.
#include "platform/qt_gui.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFont>
#include <QSocketNotifier>
#include <QString>
#include <QStringList>
#include <utility>

#include "platform/codepage.h"
#include "platform/file_dialogs.h"
#include "platform/message_loop.h"
#include "platform/paths.h"
#include "platform/vcl.h"

namespace win {
namespace {

constexpr std::pair<int, QMessageBox::StandardButton> kButtons[] = {
    {IDOK, QMessageBox::Ok},       {IDCANCEL, QMessageBox::Cancel}, {IDABORT, QMessageBox::Abort},
    {IDRETRY, QMessageBox::Retry}, {IDIGNORE, QMessageBox::Ignore}, {IDYES, QMessageBox::Yes},
    {IDNO, QMessageBox::No},
};

QMessageBox::StandardButton ToQt(int id) {
    for (const auto& [windowsId, button] : kButtons) {
        if (windowsId == id) return button;
    }
    return QMessageBox::NoButton;
}

int FromQt(int button) {
    for (const auto& [windowsId, qtButton] : kButtons) {
        if (qtButton == button) return windowsId;
    }
    return IDCANCEL;
}

QMessageBox::Icon IconOf(UINT icon) {
    switch (icon) {
        case MB_ICONERROR:
            return QMessageBox::Critical;
        case MB_ICONQUESTION:
            return QMessageBox::Question;
        case MB_ICONWARNING:
            return QMessageBox::Warning;
        case MB_ICONINFORMATION:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
    }
}

// "Text (*.txt)|*.txt|All|*.*" as Qt's name filters: each description with its patterns.
QStringList NameFilters(const std::string& filter) {
    const QStringList parts = ToQString(filter).split('|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        filters << parts[i] + " (" + patterns.replace(';', ' ') + ")";
    }
    return filters;
}

// Qt's own overwrite question stays off: the suite's callers ask theirs.
std::optional<std::filesystem::path> ShowFileDialog(const FileDialogRecord& record) {
    QFileDialog dialog(nullptr, ToQString(record.title));
    dialog.setAcceptMode(record.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    KeepOffTheStore(dialog);
    dialog.setNameFilters(NameFilters(record.filter));
    if (!record.initialDir.empty()) {
        dialog.setDirectory(QString::fromStdString(ToHostPath(record.initialDir).string()));
    }
    if (!record.fileName.empty()) {
        dialog.selectFile(QString::fromStdString(ToHostPath(record.fileName).string()));
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return std::filesystem::path(dialog.selectedFiles().front().toStdString());
}

}  // namespace

QString ToQString(std::string_view text) {
    return QString::fromStdString(AnsiToUtf8(text));
}

std::unique_ptr<QMessageBox> MakeMessageBox(const MessageBoxRecord& record) {
    auto box = std::make_unique<QMessageBox>();
    box->setObjectName("MessageBox");
    box->setWindowTitle(ToQString(record.caption));
    box->setText(ToQString(record.text));
    box->setIcon(IconOf(record.icon));
    QMessageBox::StandardButtons buttons;
    for (const int id : record.buttons) buttons |= ToQt(id);
    box->setStandardButtons(buttons);
    box->setDefaultButton(ToQt(record.defaultButton));
    return box;
}

void InstallQtDialogs() {
    SetMessageBoxPresenter([](const MessageBoxRecord& record) {
        const std::unique_ptr<QMessageBox> box = MakeMessageBox(record);
        return FromQt(box->exec());
    });
    SetFileDialogPresenter(ShowFileDialog);
}

void PumpMessageQueueInQt(QCoreApplication& application) {
    auto* notifier = new QSocketNotifier(MessageQueueEvent(), QSocketNotifier::Read, &application);
    QObject::connect(notifier, &QSocketNotifier::activated, &application, [&application] {
        int exitCode = 0;
        if (PumpWaitingMessages(exitCode)) application.exit(exitCode);
    });
}

}  // namespace win
