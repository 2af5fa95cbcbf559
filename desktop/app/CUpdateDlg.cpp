#include "desktop/app/CUpdateDlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <optional>

#include "desktop/app/ExtrasText.h"
#include "desktop/app/KExtrasContext.h"
#include "desktop/app/KUpdateChecker.h"
#include "ipc/QXServiceLib.h"
#include "platform/com/ComPtr.h"

namespace parvane {

int KExtrasContext::Run(QDialog* dialog) const { return runDialog ? runDialog(dialog) : dialog->exec(); }

CUpdateDlg::CUpdateDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromUtf8(text::kUpdateTitle));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QString::fromUtf8(text::kUpdateText), this));
    m_download = new QRadioButton(QString::fromUtf8(text::kDownloadNow), this);
    m_later = new QRadioButton(QString::fromUtf8(text::kRemindLater), this);
    m_combo = new QComboBox(this);
    m_combo->addItems({QString::fromUtf8(text::kRemind5), QString::fromUtf8(text::kRemind10),
                       QString::fromUtf8(text::kRemindNever)});
    m_combo->setCurrentIndex(0);
    m_combo->setEnabled(false);
    m_download->setChecked(true);
    layout->addWidget(m_download);
    layout->addWidget(m_later);
    layout->addWidget(m_combo);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Ok"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_download, &QRadioButton::toggled, this, &CUpdateDlg::UpdateSelection);
    connect(m_later, &QRadioButton::toggled, this, &CUpdateDlg::UpdateSelection);
    connect(m_combo, &QComboBox::currentIndexChanged, this, &CUpdateDlg::UpdateSelection);
}

void CUpdateDlg::UpdateSelection() {
    const bool later = m_later->isChecked();
    m_combo->setEnabled(later);
    m_selection = later ? m_combo->currentIndex() : -1;
}

int CUpdateDlg::GetRemindDays() const {
    switch (m_selection) {
    case 0: return 5;
    case 1: return 10;
    case 2: return -1;
    default: return 0;
    }
}

namespace {

// The update dialog's answer: the reminder days chosen, or none when it was
// cancelled, or when "Download it now" has no web address to open (said to
// the user; the reminder stays as it was).
std::optional<int> AskUpdate(QWidget* owner, const KExtrasContext& context, const QString& link) {
    CUpdateDlg dialog(owner);
    if (context.Run(&dialog) != QDialog::Accepted) return std::nullopt;
    const int days = dialog.GetRemindDays();
    // Only a web address is handed to the desktop's opener.
    if (days == 0 && !IsWebUrl(QUrl(link, QUrl::StrictMode))) {
        context.prompter->Show(owner, QString::fromUtf8(text::kNoDownloadLink), Icon::Error, Buttons::Ok);
        return std::nullopt;
    }
    return days;
}

}  // namespace

void RunUpdateCheck(QWidget* parent, const KExtrasContext& context, std::function<void(bool, int)> done) {
    auto* checker = new KUpdateChecker(context.site, OwnVersionText(), parent);
    QPointer<QWidget> owner(parent);
    const bool hadOwner = parent != nullptr;
    checker->Check([checker, owner, hadOwner, context, done](int code, const QString& link) {
        checker->deleteLater();
        if (hadOwner && !owner) return;
        if (code != kUpdateNewer) {
            bool isError = true;
            const QString message = UpdateMessage(code, &isError);
            context.prompter->Show(owner, message, isError ? Icon::Error : Icon::Information, Buttons::Ok);
            done(false, -1);
            return;
        }
        const std::optional<int> days = AskUpdate(owner, context, link);
        if (!days) {
            done(false, -1);
            return;
        }
        if (*days == 0) context.urls->Open(QUrl(link, QUrl::StrictMode));
        done(true, *days);
    });
}

}  // namespace parvane

namespace parvane {

HRESULT StoreRemindDays(ISettings* settings, int days, const char** failedCall) {
    HRESULT hr = settings->SetRemindUpdateStatus(days > 0 ? 1 : 0);
    if (hr != S_OK) {
        *failedCall = "SetRemindUpdateStatus";
        return FAILED(hr) ? hr : E_FAIL;
    }
    if (days > 0) {
        hr = settings->SetRemindUpdatePeriod(ULONG(days));
        if (hr != S_OK) {
            *failedCall = "SetRemindUpdatePeriod";
            return FAILED(hr) ? hr : E_FAIL;
        }
    }
    return S_OK;
}

bool CheckForUpdateAtStart(QWidget* parent, ISettings* settings, const KExtrasContext& context) {
    LONG remind = 0;
    HRESULT hr = settings->GetRemindUpdateStatus(&remind);
    if (hr != S_OK) {
        context.ControllerErrors(parent, "GetRemindUpdateStatus", FAILED(hr) ? hr : E_FAIL);
        return false;
    }
    if (!remind || !context.site.IsSet()) return true;
    plat::ComPtr<ISettings> held(settings);
    auto* checker = new KUpdateChecker(context.site, OwnVersionText(), parent);
    QPointer<QWidget> owner(parent);
    checker->Check([checker, owner, held, context](int code, const QString& link) {
        checker->deleteLater();
        if (code != kUpdateNewer || !owner) return;  // at start only a newer version is shown
        const std::optional<int> days = AskUpdate(owner, context, link);
        if (!days) return;
        // The choice is kept before the download page takes the user away.
        const char* call = "";
        HRESULT stored = StoreRemindDays(held.Get(), *days, &call);
        if (stored == S_OK) {
            stored = held->SaveSettings();
            call = "SaveSettings";
        }
        if (stored != S_OK) context.ControllerErrors(owner, call, FAILED(stored) ? stored : E_FAIL);
        if (*days == 0) context.urls->Open(QUrl(link, QUrl::StrictMode));
    });
    return true;
}

}  // namespace parvane
