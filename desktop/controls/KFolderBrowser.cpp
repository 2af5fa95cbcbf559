#include "desktop/controls/KFolderBrowser.h"

#include <QDialogButtonBox>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

bool IsLocalFolderPath(const QString& path) {
    if (!path.startsWith(QLatin1Char('/')) || path.startsWith(QStringLiteral("//"))) return false;
    const QUrl url(path);
    return url.scheme().isEmpty() || url.isLocalFile();
}

QPushButton* FolderDialogOkButton(QFileDialog& dialog) {
    if (auto* box = dialog.findChild<QDialogButtonBox*>())
        for (QAbstractButton* b : box->buttons())
            if (box->buttonRole(b) == QDialogButtonBox::AcceptRole) return qobject_cast<QPushButton*>(b);
    return nullptr;
}

namespace {

// A non-native folder dialog whose OK refuses what is not a local folder.
class KFolderDialog : public QFileDialog {
public:
    KFolderDialog(QWidget* owner, const QString& title, bool validate) : QFileDialog(owner, title), m_validate(validate) {
        setOption(QFileDialog::DontUseNativeDialog, true);
        setOption(QFileDialog::ShowDirsOnly, true);
        setFileMode(QFileDialog::Directory);
        if (m_validate)
            connect(this, &QFileDialog::currentChanged, this, [this](const QString& path) { EnableOk(IsLocalFolderPath(path)); });
    }
    void EnableOk(bool on) {
        if (QPushButton* ok = FolderDialogOkButton(*this)) ok->setEnabled(on);
    }
    void accept() override {
        const QStringList chosen = selectedFiles();
        if (m_validate && (chosen.isEmpty() || !IsLocalFolderPath(chosen.front()))) {
            EnableOk(false);  // the dialog stays open
            return;
        }
        QFileDialog::accept();
    }

private:
    bool m_validate;
};

}  // namespace

CWideString BrowseForFolder(QWidget* owner, const QString& title, bool validate, const KFolderDialogRunner& runner,
                            const KErrorReporter& report) {
    KFolderDialog dialog(owner, title, validate);
    const bool chosen = runner ? runner(dialog) : dialog.exec() == QDialog::Accepted;
    if (!chosen) return {};
    const QStringList files = dialog.selectedFiles();
    const QString path = files.isEmpty() ? QString() : files.front();
    if (path.isEmpty() || (validate && !IsLocalFolderPath(path))) {
        if (report) report(owner, QStringLiteral("Error"), QStringLiteral("Failed get directory"));
        else QMessageBox::critical(owner, QStringLiteral("Error"), QStringLiteral("Failed get directory"));
        return {};
    }
    return CWideString(path.toStdU16String());
}
