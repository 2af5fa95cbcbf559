#include "desktop/controls/KWndSkin.h"

#include "desktop/controls/KSkinAccessible.h"

#include <QMetaObject>
#include <QPainter>
#include <QVariant>

namespace {
constexpr int kMaxItemText = 256;
}

QWidget* FindDlgItem(QWidget* dialog, int id) {
    if (!dialog) return nullptr;
    for (QWidget* w : dialog->findChildren<QWidget*>()) {
        const QVariant v = w->property(kControlIdProperty);
        if (v.isValid() && v.toInt() == id) return w;
    }
    return nullptr;
}

KWndSkin::KWndSkin(QWidget* parent) : QWidget(parent), m_skin(this) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    InstallSkinAccessibility();
}

KWndSkin::~KWndSkin() = default;

bool KWndSkin::Create(QWidget* parent, const QString& title, int stretchMode, const QRect* rect, int id) {
    setParent(parent);
    m_skin.SetStretchMode(stretchMode);
    const QRect r = rect ? *rect : QRect(0, 0, 10, 10);
    // The rectangle's right and bottom are inclusive: one more pixel each way.
    setGeometry(r.x(), r.y(), r.width() + 1, r.height() + 1);
    SetWindowText(title);
    OnCreate(id);
    show();
    return true;
}

int KWndSkin::AddBitmap(const QImage& image, uint8_t flags, qint64 transparent, int marginX, int marginY) {
    return m_skin.AddBitmap(image, flags, transparent, marginX, marginY);
}

int KWndSkin::AddBitmapResource(int resourceId, uint8_t flags, qint64 transparent, int marginX, int marginY) {
    return m_skin.AddBitmapResource(resourceId, flags, transparent, marginX, marginY);
}

void KWndSkin::SelectState(int index, std::optional<QRegion>* outRegion) { m_skin.SelectState(index, outRegion); }
void KWndSkin::SetAlignment(uint8_t flags, bool allStates) { m_skin.SetAlignment(flags, allStates); }
void KWndSkin::SetStretchMode(int mode) { m_skin.SetStretchMode(mode); }
void KWndSkin::ReleaseBitmaps() { m_skin.ReleaseBitmaps(); }

bool KWndSkin::AttachToDlgItem(QWidget* item, QWidget* newParent) {
    if (!item || !item->parentWidget()) return false;
    QWidget* oldParent = item->parentWidget();
    QWidget* parent = newParent ? newParent : oldParent;
    QRect geometry = item->geometry();
    if (parent != oldParent) geometry.moveTopLeft(parent->mapFromGlobal(oldParent->mapToGlobal(item->pos())));
    setParent(parent);
    setGeometry(geometry);
    const QVariant text = item->property("text");
    if (text.isValid()) SetWindowText(text.toString().left(kMaxItemText));
    if (!item->accessibleName().isEmpty()) setAccessibleName(item->accessibleName());
    // The item keeps its place in the focus chain; this widget follows it
    // there, and as the item is hidden the focus goes to this one instead.
    const Qt::FocusPolicy itemPolicy = item->focusPolicy();
    if (itemPolicy == Qt::NoFocus) item->setFocusPolicy(Qt::TabFocus);  // setTabOrder skips NoFocus widgets
    QWidget::setTabOrder(item, this);
    item->setFocusPolicy(itemPolicy);
    item->hide();
    show();
    OnCreate(item->property(kControlIdProperty).toInt());
    return true;
}

void KWndSkin::SetWindowText(const QString& text) {
    if (text == m_text) return;  // the same text is not drawn again
    m_text = text;
    update();
}

void KWndSkin::DrawEmpty(QPainter&) {}

void KWndSkin::OnCreate(int id) { m_id = id; }

void KWndSkin::PostCommand(int id) {
    QMetaObject::invokeMethod(this, [this, id] { emit command(id); }, Qt::QueuedConnection);
}

void KWndSkin::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (m_skin.GetCurrentState() >= 0) m_skin.Draw(p);
    else DrawEmpty(p);
}
