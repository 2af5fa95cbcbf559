#include "desktop/app/CPlayPositionDialog.h"

#include <algorithm>

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "desktop/app/Strings.h"
#include "desktop/controls/KTimecodeCtrl.h"

namespace parvane {

namespace {
KTimecode Timecode(ULONG ms) {
    KTimecode tc;
    tc.FromMilliseconds(ms);
    return tc;
}

ULONG Milliseconds(const KTimecode& tc) {
    LONGLONG units = tc.ToHundredNs();
    return units < 0 ? 0 : ULONG(std::min<LONGLONG>(units / 10000, 0xFFFFFFFFll));
}

QString Label(int id, ULONG ms) {
    ULONG hs = (ms / 10) % 100, s = (ms / 1000) % 60, m = (ms / 60000) % 60, h = ms / 3600000;
    return QString::asprintf(Str(id).toUtf8().constData(), int(h), int(m), int(s), int(hs));
}
}  // namespace

CPlayPositionDialog::CPlayPositionDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Fine position"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Please specify the fine playback position:"), this));
    m_entry = new KTimecodeCtrl(this);
    m_entry->setObjectName(QStringLiteral("1053"));
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
    connect(m_entry, &KTimecodeCtrl::notify, this, [this](int code) {
        if (code == KTimecodeCtrl::kKeyChanged) m_typed = true;
        OnChangeEdit();
    });
    m_entry->SetTimecode(Timecode(0), false, true);
}

void CPlayPositionDialog::SetMinPosition(ULONG ms) {
    m_min = ms;
    m_minLabel->setText(Label(133, ms));
    if (!m_typed) m_entry->SetTimecode(Timecode(ms), false, true);
    OnChangeEdit();
}

void CPlayPositionDialog::SetMaxPosition(ULONG ms) {
    m_max = ms;
    m_maxLabel->setText(Label(138, ms));
    OnChangeEdit();
}

ULONG CPlayPositionDialog::Position() const { return Milliseconds(m_entry->GetTimecode()); }

void CPlayPositionDialog::OnChangeEdit() {
    ULONG ms = Position();
    bool ok = m_min <= ms && ms <= m_max;
    if (m_ok->isEnabled() != ok) m_ok->setEnabled(ok);
}

}  // namespace parvane
