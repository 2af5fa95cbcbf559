#pragma once
// Keeps the pop-up notices: a few at once, stacked upward from the
// bottom-right corner of the screen's work area.
#include <QObject>
#include <QPointer>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <vector>

class KAnimatedPopup;

class KPopupManager : public QObject {
    Q_OBJECT
public:
    KPopupManager(int displayMs, int maxCount);
    ~KPopupManager() override;

    // Shows a notice in the lowest free slot; when every slot is taken the
    // notice in slot 0 goes and the others slide down.
    KAnimatedPopup* ShowPopup(const QString& text);
    // Removes the notices that have been hidden (later, from the event loop)
    // and slides the others down into the gaps.
    void CleanUp();
    // The notice in a slot (0 = lowest), or null.
    KAnimatedPopup* At(int slot) const;
    int MaxCount() const { return m_maxCount; }
    // Where a notice of that size stands in a slot.
    static QPoint SlotPosition(const QSize& size, int slot, const QRect& workArea);

private:
    void Place(KAnimatedPopup* popup, int slot);

    int m_displayMs;
    int m_maxCount;
    std::vector<QPointer<KAnimatedPopup>> m_slots;
};
