#pragma once
// The skin engine: draws a host widget from a list of bitmap states, one of
// which is current, and can shape the host to the pixels of its bitmap that
// are not of the state's key colour. Dialogs keep one as a member; KWndSkin
// is a widget that owns one.
#include <QImage>
#include <QPixmap>
#include <QRegion>

#include <cstdint>
#include <optional>
#include <vector>

class QPainter;
class QWidget;

class KDialogSkin {
public:
    // State flags.
    static constexpr uint8_t kAlignNear = 0x04;      // left or top
    static constexpr uint8_t kAlignFar = 0x08;       // right or bottom
    static constexpr uint8_t kBuildRegion = 0x10;
    static constexpr uint8_t kSizeFixedSide = 0x20;  // take the bitmap's size across the stretch
    static constexpr uint8_t kSizeToBitmap = 0x40;
    // Stretch mode bits.
    static constexpr int kStretchHorizontal = 1;
    static constexpr int kStretchVertical = 2;

    explicit KDialogSkin(QWidget* host);
    KDialogSkin(const KDialogSkin&) = delete;
    KDialogSkin& operator=(const KDialogSkin&) = delete;

    // Returns the new state's index, -1 for a null (missing or 0 x 0) image.
    // A transparent colour of -1 takes the image's top-left pixel.
    int AddBitmap(const QImage& image, uint8_t flags, qint64 transparent = -1, int marginX = 0, int marginY = 0);
    int AddBitmapResource(int resourceId, uint8_t flags, qint64 transparent = -1, int marginX = 0, int marginY = 0);
    // An index outside the states shows none. With outRegion the state's
    // region is handed to the caller (nullopt: no region) instead of applied.
    void SelectState(int index, std::optional<QRegion>* outRegion = nullptr);
    void SetAlignment(uint8_t flags, bool allStates);
    void SetStretchMode(int mode);
    int GetStretchMode() const { return m_stretchMode; }
    void Draw(QPainter& painter) const;
    QRect GetStateRect(int index) const;
    // The region of a state composed at the host's size (flag 0x10 only).
    std::optional<QRegion> BuildRegion(int index);
    void CalcLayoutRect(int index, bool fixedSideOnly);
    void ReleaseBitmaps();

    int GetCurrentState() const { return m_current; }
    int StateCount() const { return static_cast<int>(m_states.size()); }
    QSize StateSize(int index) const;
    // The state's region as built (nullopt when it has none).
    std::optional<QRegion> StateRegion(int index) const;
    // The region last applied to the host (nullopt when none is).
    const std::optional<QRegion>& WindowRegion() const { return m_windowRegion; }
    // How many regions this engine has built.
    int RegionBuilds() const { return m_regionBuilds; }

    // The region of every pixel whose colour (0x00RRGGBB) differs from key.
    // An image wholly of the key colour gives an empty region; a null image
    // gives nullopt.
    static std::optional<QRegion> RegionFromImage(const QImage& image, quint32 key);
    // Shapes a widget: nullopt clears its shape; an empty region leaves
    // nothing of it visible or hit-testable (an empty QRegion would clear
    // the mask instead).
    static void ApplyRegion(QWidget* widget, const std::optional<QRegion>& region);

private:
    struct State {
        QImage image;  // RGB32
        QPixmap pixmap;
        quint32 transparent = 0;
        std::optional<QRegion> region;
        QRect rect;
        uint8_t flags = 0;
        unsigned generation = 0;  // bumped whenever the region is rebuilt
    };

    std::optional<QRegion> BuildStateRegion(State& state, int index);

    QWidget* m_host;
    std::vector<State> m_states;
    int m_current = -1;
    // The state whose region the window wears, and that region's build:
    // a state only handed out (SelectState with an out-region) is not applied.
    int m_appliedIndex = -1;
    unsigned m_appliedGeneration = 0;
    int m_stretchMode = 0;
    int m_marginX = 0;
    int m_marginY = 0;
    std::optional<QRegion> m_windowRegion;
    int m_regionBuilds = 0;
};
