#pragma once
// The folder browser and the wide-string holder it answers with.
#include <QFileDialog>
#include <QString>

#include <functional>
#include <string>

class CWideString {
public:
    CWideString() = default;
    explicit CWideString(std::u16string text) : m_text(std::move(text)) {}
    CWideString& operator=(const std::u16string& text) {
        m_text = text;
        return *this;
    }
    const std::u16string& Wide() const { return m_text; }
    size_t Length() const { return m_text.size(); }
    bool IsEmpty() const { return m_text.empty(); }
    // The UTF-8 copy, sized by the converter (a unit may take up to 3 bytes).
    std::string Narrow() const;
    QString ToQString() const { return QString::fromStdU16String(m_text); }

private:
    std::u16string m_text;
};

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
