#include "desktop/app/CPlayPositionDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

#include "desktop/app/Strings.h"

namespace parvane {

bool ParsePosition(const QString& text, ULONG* ms) {
    static const QRegularExpression re(QStringLiteral(R"(^\s*(\d{1,3}):(\d{1,2}):(\d{1,2})(?:[.:](\d{1,2}))?\s*$)"));
    auto m = re.match(text);
    if (!m.hasMatch()) return false;
    qulonglong h = m.captured(1).toULongLong(), mi = m.captured(2).toULongLong(), s = m.captured(3).toULongLong();
    qulonglong hs = m.captured(4).isEmpty() ? 0 : m.captured(4).toULongLong();
    if (m.captured(4).size() == 1) hs *= 10;
    if (mi > 59 || s > 59) return false;
    qulonglong total = ((h * 60 + mi) * 60 + s) * 1000 + hs * 10;
    if (total > 0xFFFFFFFFull) return false;
    *ms = ULONG(total);
    return true;
}

QString PositionText(ULONG ms) {
    ULONG hs = (ms / 10) % 100, s = (ms / 1000) % 60, m = (ms / 60000) % 60, h = ms / 3600000;
    return QString::asprintf("%.2u:%.2u:%.2u:%.2u", unsigned(h), unsigned(m), unsigned(s), unsigned(hs));
}

namespace {
QString Label(int id, ULONG ms) {
    ULONG hs = (ms / 10) % 100, s = (ms / 1000) % 60, m = (ms / 60000) % 60, h = ms / 3600000;
    return QString::asprintf(Str(id).toUtf8().constData(), int(h), int(m), int(s), int(hs));
}
}  // namespace

CPlayPositionDialog::CPlayPositionDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Fine position"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Please specify the fine playback position:"), this));
    m_entry = new QLineEdit(this);
    m_entry->setObjectName(QStringLiteral("1053"));
    m_entry->setInputMask(QStringLiteral("99:99:99.99"));
    layout->addWidget(m_entry);
    m_minLabel = new QLabel(QStringLiteral("Minimal Position: hh:mm:ss:ms"), this);
    m_minLabel->setObjectName(QStringLiteral("1056"));
    m_maxLabel = new QLabel(QStringLiteral("Maximal Position: hh:mm:ss:ms"), this);
    m_maxLabel->setObjectName(QStringLiteral("1055"));
    layout->addWidget(m_minLabel);
    layout->addWidget(m_maxLabel);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_entry, &QLineEdit::textEdited, this, [this] {
        m_typed = true;
        OnChangeEdit();
    });
    m_entry->setText(PositionText(0).replace(8, 1, QLatin1Char('.')));
}

void CPlayPositionDialog::SetMinPosition(ULONG ms) {
    m_min = ms;
    m_minLabel->setText(Label(133, ms));
    if (!m_typed) m_entry->setText(QString(PositionText(ms)).replace(8, 1, QLatin1Char('.')));
    OnChangeEdit();
}

void CPlayPositionDialog::SetMaxPosition(ULONG ms) {
    m_max = ms;
    m_maxLabel->setText(Label(138, ms));
    OnChangeEdit();
}

ULONG CPlayPositionDialog::Position() const {
    ULONG ms = 0;
    return ParsePosition(m_entry->text(), &ms) ? ms : m_min;
}

void CPlayPositionDialog::OnChangeEdit() {
    ULONG ms = 0;
    bool ok = ParsePosition(m_entry->text(), &ms) && m_min <= ms && ms <= m_max;
    if (m_ok->isEnabled() != ok) m_ok->setEnabled(ok);
}

}  // namespace parvane
