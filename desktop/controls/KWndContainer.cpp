#include "desktop/controls/KWndContainer.h"

int KWndContainer::AddGuide(Kind kind, int offset) {
    for (size_t i = 0; i < m_guides.size(); ++i)
        if (m_guides[i].kind == kind && m_guides[i].offset == offset) return static_cast<int>(i);
    m_guides.push_back({kind, offset});
    return static_cast<int>(m_guides.size()) - 1;
}

void KWndContainer::Layout(QWidget* child, int anchors) {
    if (!child || !m_owner) return;
    // Rectangles with exclusive right and bottom edges, in the owner's client area.
    const QRect r(m_owner->mapFromGlobal(child->mapToGlobal(QPoint(0, 0))), child->size());
    const int w = m_owner->width(), h = m_owner->height();
    const int left = r.x(), top = r.y(), right = r.x() + r.width(), bottom = r.y() + r.height();
    Child c;
    c.widget = child;
    c.left = (anchors & kLeftFromLeft) ? AddGuide(FromLeft, left) : AddGuide(FromRight, w - left);
    c.right = (anchors & kRightFromRight) ? AddGuide(FromRight, w - right) : AddGuide(FromLeft, right);
    c.top = (anchors & kTopFromTop) ? AddGuide(FromTop, top) : AddGuide(FromBottom, h - top);
    c.bottom = (anchors & kBottomFromBottom) ? AddGuide(FromBottom, h - bottom) : AddGuide(FromTop, bottom);
    m_children.push_back(c);
}

void KWndContainer::Update(int width, int height) {
    for (Guide& g : m_guides) {
        switch (g.kind) {
            case FromLeft:
            case FromTop: g.position = g.offset; break;
            case FromRight: g.position = width - g.offset; break;
            case FromBottom: g.position = height - g.offset; break;
        }
    }
    for (const Child& c : m_children) {
        if (!c.widget) continue;
        const int l = m_guides[static_cast<size_t>(c.left)].position;
        const int t = m_guides[static_cast<size_t>(c.top)].position;
        const int r = m_guides[static_cast<size_t>(c.right)].position;
        const int b = m_guides[static_cast<size_t>(c.bottom)].position;
        QRect target(l, t, r - l, b - t);
        if (QWidget* parent = c.widget->parentWidget(); parent && parent != m_owner)
            target.moveTopLeft(parent->mapFromGlobal(m_owner->mapToGlobal(target.topLeft())));
        if (c.widget->geometry() != target) c.widget->setGeometry(target);
    }
    if (m_owner) m_owner->update();
}
