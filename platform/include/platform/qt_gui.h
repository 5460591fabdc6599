// The Qt part of the platform's GUI (library platform_qt): message boxes drawn as
// QMessageBox, and the program's message queue (message_loop.h) pumped from Qt's event
// loop, so COM calls still arrive while windows run. Only programs with windows link it.
//
// Called on the GUI thread after the QApplication exists.
#pragma once

#include <memory>
#include <string_view>

#include <QMessageBox>

#include "platform/dialogs.h"

class QCoreApplication;
class QFileDialog;

namespace win {

// A suite text (Windows-1252) as Qt's text.
QString ToQString(std::string_view text);

// Makes MessageBox and MessageDlg show modal QMessageBoxes, and the file dialogs QFileDialogs.
void InstallQtDialogs();

// Makes BrowseForFolder (folder_dialog.h) show a folder chooser; the folder comes back as
// its Windows path.
void InstallQtFolderDialog();

// Makes a file dialog list folders without opening the files in them (icons and types come
// from the names alone) and leave the machine's store out of its listing.
void KeepOffTheStore(QFileDialog& dialog);

// The box a record shows, built but not run; tests grab it for screenshots.
std::unique_ptr<QMessageBox> MakeMessageBox(const MessageBoxRecord& record);

// Runs queued work whenever it is posted; the quit message ends the application's loop with
// its exit code. The watcher lives as long as the application.
void PumpMessageQueueInQt(QCoreApplication& application);

}  // namespace win
