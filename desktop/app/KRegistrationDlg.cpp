#include "desktop/app/KRegistrationDlg.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "desktop/app/ExtrasText.h"
#include "desktop/app/KExtrasContext.h"
#include "desktop/app/KNet.h"

namespace parvane {

std::optional<QString> EncodeSignUpField(const QString& field) {
    if (field.size() > KRegistrationDlg::kMaxField) return std::nullopt;
    QByteArray utf16le;
    utf16le.reserve(field.size() * 2);
    for (QChar c : field) {
        utf16le.append(char(c.unicode() & 0xFF));
        utf16le.append(char(c.unicode() >> 8));
    }
    const QByteArray base64 = utf16le.toBase64();
    QString out;
    for (qsizetype i = 0; i < base64.size(); i += 76) {
        const QByteArray line = base64.mid(i, 76);
        out += QString::fromLatin1(line);
        if (line.size() == 76) out += QStringLiteral("\r\n");
    }
    return out;
}

KRegistrationDlg::KRegistrationDlg(const KExtrasContext& context, QWidget* parent)
    : QDialog(parent), m_context(context) {
    setWindowTitle(QString::fromUtf8(text::kSignUpTitle));
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(QString::fromUtf8(text::kSignUpIntro), this);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    layout->addWidget(new QLabel(QString::fromUtf8(text::kSignUpRequired), this));
    auto* form = new QFormLayout;
    m_name = new QLineEdit(this);
    m_company = new QLineEdit(this);
    m_email = new QLineEdit(this);
    m_about = new QLineEdit(this);
    form->addRow(QStringLiteral("*Name:"), m_name);
    form->addRow(QStringLiteral("Company:"), m_company);
    form->addRow(QStringLiteral("*E-mail:"), m_email);
    form->addRow(QStringLiteral("How have you heard about us?"), m_about);
    layout->addLayout(form);
    m_patches = new QCheckBox(QStringLiteral("I want to get notifications on patches and upgrades"), this);
    m_other = new QCheckBox(QStringLiteral("I want to get notifications on other products"), this);
    layout->addWidget(m_patches);
    layout->addWidget(m_other);
    auto* row = new QHBoxLayout;
    m_ok = new QPushButton(QStringLiteral("OK"), this);
    auto* later = new QPushButton(QStringLiteral("Remind Me Later"), this);
    auto* never = new QPushButton(QStringLiteral("Do Not Register"), this);
    row->addWidget(m_ok);
    row->addWidget(later);
    row->addWidget(never);
    layout->addLayout(row);
    m_ok->setEnabled(false);
    m_ok->setAutoDefault(false);
    connect(m_name, &QLineEdit::textChanged, this, &KRegistrationDlg::UpdateOkButton);
    connect(m_email, &QLineEdit::textChanged, this, &KRegistrationDlg::UpdateOkButton);
    connect(m_ok, &QPushButton::clicked, this, &KRegistrationDlg::OnOK);
    connect(later, &QPushButton::clicked, this, &QDialog::reject);
    connect(never, &QPushButton::clicked, this, &KRegistrationDlg::OnDoNotRegister);
}

void KRegistrationDlg::UpdateOkButton() {
    m_ok->setEnabled(!m_sending && !m_name->text().isEmpty() && !m_email->text().isEmpty());
}

void KRegistrationDlg::OnOK() {
    if (m_sending) return;
    // Every field is checked before any is sent; the check boxes go as "0"/"1".
    const auto name = EncodeSignUpField(m_name->text());
    const auto company = EncodeSignUpField(m_company->text());
    const auto email = EncodeSignUpField(m_email->text());
    const auto about = EncodeSignUpField(m_about->text());
    if (!name || !company || !email || !about) {
        m_context.prompter->Show(this, QString::fromUtf8(text::kTooLong), Icon::Error, Buttons::Ok);
        return;
    }
    if (!m_context.site.IsSet()) {
        m_context.prompter->Show(this, QString::fromUtf8(text::kCannotConnect), Icon::Error, Buttons::Ok);
        return;
    }
    const QUrl url = m_context.site.SignUpUrl(*name, *company, *email, *about,
                                              QString::number(m_patches->isChecked() ? 1 : 0),
                                              QString::number(m_other->isChecked() ? 1 : 0));
    m_sending = true;
    UpdateOkButton();
    KNet::Instance().Get(url, this, [this](const KNetAnswer& answer) {
        m_sending = false;
        UpdateOkButton();
        if (answer.kind != KNetAnswer::Answered) {
            m_context.prompter->Show(this, QString::fromUtf8(text::kCannotConnect), Icon::Error, Buttons::Ok);
        } else if (answer.status == 200) {
            m_context.prompter->Show(this, QString::fromUtf8(text::kThanks), Icon::Information, Buttons::Ok);
            accept();
        } else {
            m_context.prompter->Show(this, QString::fromUtf8(text::kSignUpFailed), Icon::Error, Buttons::Ok);
        }
    });
}

void KRegistrationDlg::OnDoNotRegister() { done(kDoNotRegister); }

bool RunSignUp(QWidget* parent, const KExtrasContext& context) {
    KRegistrationDlg dialog(context, parent);
    const int result = context.Run(&dialog);
    return result == QDialog::Accepted || result == KRegistrationDlg::kDoNotRegister;
}

}  // namespace parvane
