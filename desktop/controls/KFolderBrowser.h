#pragma once
// The folder browser: lets the user choose a local folder.
#include "desktop/controls/CWideString.h"

#include <QFileDialog>
#include <QString>

#include <functional>
#include <string>

// True for an absolute local path ("/..."); network paths ("//...") and
// URLs are not folders to keep files in.
bool IsLocalFolderPath(const QString& path);

class QPushButton;
// The dialog's OK button.
QPushButton* FolderDialogOkButton(QFileDialog& dialog);

// Runs the prepared dialog; true when the user chose. Tests pass their own.
using KFolderDialogRunner = std::function<bool(QFileDialog& dialog)>;
// Shows a failure to the user.
using KErrorReporter = std::function<void(QWidget* owner, const QString& caption, const QString& text)>;

// Lets the user choose a folder. With validation, OK stays disabled while
// the selection is not a local folder. An empty result means cancelled or
// failed (a failure is reported as "Failed get directory").
CWideString BrowseForFolder(QWidget* owner, const QString& title, bool validate,
                            const KFolderDialogRunner& runner = {}, const KErrorReporter& report = {});
