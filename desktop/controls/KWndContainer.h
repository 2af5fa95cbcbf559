#pragma once
// Anchors the child widgets of an owner to its edges: each edge of a child
// keeps its distance to the owner's left, top, right or bottom edge as the
// owner is resized. Edges at the same distance from the same side share one
// guide.
#include <QPointer>
#include <QRect>
#include <QWidget>

#include <vector>

class KWndContainer {
public:
    // Anchor bits: which side each edge of a child is measured from.
    static constexpr int kLeftFromLeft = 0x1;     // else from the right
    static constexpr int kRightFromRight = 0x2;   // else from the left
    static constexpr int kTopFromTop = 0x4;       // else from the bottom
    static constexpr int kBottomFromBottom = 0x8; // else from the top

    explicit KWndContainer(QWidget* owner) : m_owner(owner) {}

    void Layout(QWidget* child, int anchors);
    // Moves every living child to its guides for the owner's new size.
    void Update(int width, int height);
    int GuideCount() const { return static_cast<int>(m_guides.size()); }

private:
    enum Kind { FromLeft = 0, FromTop = 1, FromRight = 2, FromBottom = 3 };
    struct Guide {
        Kind kind;
        int offset;
        int position = 0;
    };
    struct Child {
        QPointer<QWidget> widget;  // a child deleted before Update is skipped
        int left, top, right, bottom;
    };
    int AddGuide(Kind kind, int offset);

    QWidget* m_owner;
    std::vector<Guide> m_guides;
    std::vector<Child> m_children;
};
