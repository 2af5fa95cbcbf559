#include "desktop/controls/KAnimatedPopup.h"

#include "desktop/controls/KDialogFont.h"
#include "desktop/controls/KPopupManager.h"
#include "desktop/controls/KSkinAccessible.h"
#include "desktop/controls/KSkinResources.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QPainter>
#include <QPropertyAnimation>
#include <QScreen>

namespace {
constexpr int kBackgroundBitmap = 300;
}

KAnimatedPopup::KAnimatedPopup(KPopupManager* manager, const QString& text, int displayMs)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus),
      m_manager(manager),
      m_text(text),
      m_displayMs(displayMs) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    InstallSkinAccessibility();
    setMouseTracking(true);
    setAccessibleName(text);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &KAnimatedPopup::OnTimer);

    // The window is the background bitmap's size, so none of it is cut off.
    m_composition = LoadSkinBitmap(kBackgroundBitmap);
    if (m_composition.isNull()) {
        m_composition = QImage(180, 86, QImage::Format_RGB32);
        m_composition.fill(Qt::white);
    }
    setFixedSize(m_composition.size());
    QPainter p(&m_composition);
    p.setFont(KDialogFont::MakeFont(QStringLiteral("Verdana"), 14, 400, false));
    p.setPen(QColor(33, 33, 128));
    const QRect area = m_composition.rect().adjusted(kTextInset, kTextInset, -kTextInset, -kTextInset);
    p.drawText(area, Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, text);
}

KAnimatedPopup::~KAnimatedPopup() = default;

void KAnimatedPopup::Start() {
    setWindowOpacity(0.0);
    show();
    auto* fade = new QPropertyAnimation(this, "windowOpacity", this);
    fade->setDuration(kFadeMs);
    fade->setStartValue(0.0);
    fade->setEndValue(1.0);
    fade->start(QAbstractAnimation::DeleteWhenStopped);
    update();
    m_timer.start(m_displayMs);
    AnnounceAlert(this);
}

void KAnimatedPopup::OnTimer() {
    m_timer.stop();
    FadeOut();
}

void KAnimatedPopup::FadeOut() {
    if (m_fade) return;
    m_fade = new QPropertyAnimation(this, "windowOpacity", this);
    m_fade->setDuration(kFadeMs);
    m_fade->setStartValue(windowOpacity());
    m_fade->setEndValue(0.0);
    connect(m_fade, &QPropertyAnimation::finished, this, &KAnimatedPopup::Finished);
    m_fade->start(QAbstractAnimation::DeleteWhenStopped);
}

void KAnimatedPopup::Finished() {
    hide();
    if (m_manager) m_manager->CleanUp();
}

void KAnimatedPopup::paintEvent(QPaintEvent*) { QPainter(this).drawImage(0, 0, m_composition); }

void KAnimatedPopup::mouseMoveEvent(QMouseEvent*) {
    // A notice that the pointer has passed over stays until it is clicked.
    m_timer.stop();
}

void KAnimatedPopup::mousePressEvent(QMouseEvent*) {
    QMetaObject::invokeMethod(this, [this] { close(); }, Qt::QueuedConnection);
}

void KAnimatedPopup::closeEvent(QCloseEvent* e) {
    e->accept();
    m_timer.stop();
    hide();
    if (m_manager) m_manager->CleanUp();
}
