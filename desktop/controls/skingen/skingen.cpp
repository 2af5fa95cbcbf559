// Draws every skin bitmap of the desktop program at build time, writes the
// resource list that embeds them and a manifest of probe points for tests.
// The main window's control rectangles, in pixels of its shape bitmap, are
// written to the manifest too, so that the program places its controls on
// the faces drawn here.
//
// Pure blue (0x0000FF) is the key colour. Shapes next to key pixels are
// drawn without antialiasing so that no blended pixel lies beside one;
// glyphs and text lie on opaque plates and panels and are antialiased.
// Every command has a glyph of its own from the usual media symbols.
#include <QColor>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QPainterPath>
#include <QPolygon>
#include <QPolygonF>
#include <QRect>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <vector>

namespace {

const QColor kKey(0, 0, 255);
const QColor kBody(107, 24, 34);
const QColor kBand(72, 14, 22);
const QColor kEdge(160, 60, 70);
const QColor kLit(240, 192, 64);
const QColor kUnlit(48, 24, 24);
const QColor kDigitBack(20, 10, 10);
const QColor kSmallLit(120, 220, 140);

// Tints of the four faces of a button: normal, hover, pressed, disabled.
const QColor kTint[4] = {QColor(80, 88, 104), QColor(112, 128, 160), QColor(48, 56, 72), QColor(144, 144, 144)};
const QColor kGlyph[4] = {QColor(232, 232, 232), QColor(255, 255, 224), QColor(200, 200, 200), QColor(96, 96, 96)};

struct Probe {
    QPoint at;
    QColor colour;
};

struct Output {
    QImage image;
    std::vector<Probe> probes;
};

enum class Glyph {
    Play, Pause, Record, Stop, Back30, Back5, Skip5, Skip30, Live, NewRecording, Speaker, SpeakerOff, Microphone,
    MicrophoneOff, FinePosition, PlayList, Radio, Settings, Pin, Help, Minimize, Close, Thumb, Add, Save, Delete,
    SelectAll, SetStart, SetEnd
};

QImage NewImage(int w, int h, const QColor& fill) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(fill);
    return img;
}

QFont TextFont(int pixels, bool bold = true) {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(std::max(1, pixels));
    f.setBold(bold);
    f.setHintingPreference(QFont::PreferFullHinting);
    return f;
}

// Text in a box, shrunk until it fits the box's width.
void DrawText(QPainter& p, const QRectF& box, const QString& text, int pixels, const QColor& c,
              Qt::Alignment align = Qt::AlignCenter, bool bold = true) {
    QFont f = TextFont(pixels, bold);
    while (pixels > 5 && QFontMetrics(f).horizontalAdvance(text) > box.width()) f = TextFont(--pixels, bold);
    p.save();
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.setFont(f);
    p.setPen(c);
    p.drawText(box, static_cast<int>(align), text);
    p.restore();
}

// A double arrow pointing left or right beside a number of seconds: the
// number stands on the side the arrows come from.
void DrawJump(QPainter& p, const QRectF& a, bool forward, const QString& seconds, const QColor& c) {
    const qreal h = a.height();
    const qreal aw = h * 0.42, ah = h * 0.72;
    const qreal top = a.center().y() - ah / 2, mid = a.center().y();
    const QFont f = TextFont(static_cast<int>(h * 0.66));
    const qreal tw = QFontMetrics(f).horizontalAdvance(seconds);
    const qreal total = 2 * aw + 1 + tw;
    qreal x = a.center().x() - total / 2;
    auto arrow = [&](qreal left) {
        QPolygonF tri;
        if (forward) tri << QPointF(left, top) << QPointF(left + aw, mid) << QPointF(left, top + ah);
        else tri << QPointF(left + aw, top) << QPointF(left, mid) << QPointF(left + aw, top + ah);
        p.drawPolygon(tri);
    };
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    const QRectF textBox = forward ? QRectF(x, a.top(), tw, h) : QRectF(x + 2 * aw + 1, a.top(), tw, h);
    const qreal arrows = forward ? x + tw + 1 : x;
    arrow(arrows);
    arrow(arrows + aw);
    DrawText(p, textBox.adjusted(-1, 0, 1, 0), seconds, static_cast<int>(h * 0.66), c);
}

// Draws a glyph into its area: shapes are laid out on a 16 x 16 grid that
// is scaled to the area; bg is the plate's tint, for cut-outs.
void DrawGlyph(QPainter& p, const QRect& area, Glyph g, const QColor& c, const QColor& bg, const QColor& accent) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    switch (g) {
        case Glyph::Back30: DrawJump(p, area, false, QStringLiteral("30"), c); p.restore(); return;
        case Glyph::Back5: DrawJump(p, area, false, QStringLiteral("5"), c); p.restore(); return;
        case Glyph::Skip5: DrawJump(p, area, true, QStringLiteral("5"), c); p.restore(); return;
        case Glyph::Skip30: DrawJump(p, area, true, QStringLiteral("30"), c); p.restore(); return;
        case Glyph::Live:
            DrawText(p, area.adjusted(-2, 0, 2, 0), QStringLiteral("LIVE"), static_cast<int>(area.height() * 0.75), accent);
            p.restore();
            return;
        case Glyph::Help:
            DrawText(p, area.adjusted(-2, -2, 2, 2), QStringLiteral("?"), area.height() + 3, c);
            p.restore();
            return;
        default: break;
    }
    // The square grid, centred in the area.
    const qreal side = std::min(area.width(), area.height());
    p.translate(area.center().x() + 0.5 - side / 2, area.center().y() + 0.5 - side / 2);
    p.scale(side / 16.0, side / 16.0);
    const QBrush fill(c);
    QPen line(c, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    auto slash = [&] {
        // Struck through: a bar in the plate's tint under a bar in the glyph's colour.
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(bg, 4.0, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(2, 2), QPointF(14, 14));
        p.setPen(QPen(accent, 2.0, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(2, 2), QPointF(14, 14));
    };
    switch (g) {
        case Glyph::Play: p.drawPolygon(QPolygonF({QPointF(3, 1.5), QPointF(14.5, 8), QPointF(3, 14.5)})); break;
        case Glyph::Pause:
            p.drawRect(QRectF(3, 2, 4, 12));
            p.drawRect(QRectF(9, 2, 4, 12));
            break;
        case Glyph::Record:
            p.setBrush(accent);
            p.drawEllipse(QPointF(8, 8), 6.5, 6.5);
            break;
        case Glyph::Stop: p.drawRect(QRectF(2.5, 2.5, 11, 11)); break;
        case Glyph::NewRecording: {
            // A blank page with its corner folded, a record dot on it.
            p.setPen(QPen(c, 1.4));
            p.setBrush(Qt::NoBrush);
            p.drawPolygon(QPolygonF({QPointF(3, 1), QPointF(10, 1), QPointF(13.5, 4.5), QPointF(13.5, 15), QPointF(3, 15)}));
            p.drawPolyline(QPolygonF({QPointF(10, 1), QPointF(10, 4.5), QPointF(13.5, 4.5)}));
            p.setPen(Qt::NoPen);
            p.setBrush(accent);
            p.drawEllipse(QPointF(8.2, 10), 3, 3);
            break;
        }
        case Glyph::Speaker:
        case Glyph::SpeakerOff: {
            p.drawRect(QRectF(1.5, 5.5, 3, 5));
            p.drawPolygon(QPolygonF({QPointF(4.5, 5.5), QPointF(9, 1.5), QPointF(9, 14.5), QPointF(4.5, 10.5)}));
            p.setBrush(Qt::NoBrush);
            p.setPen(QPen(c, 1.4, Qt::SolidLine, Qt::RoundCap));
            p.drawArc(QRectF(6, 4.5, 6, 7), -60 * 16, 120 * 16);
            p.drawArc(QRectF(5, 2, 10, 12), -60 * 16, 120 * 16);
            if (g == Glyph::SpeakerOff) slash();
            break;
        }
        case Glyph::Microphone:
        case Glyph::MicrophoneOff: {
            p.drawRoundedRect(QRectF(5.5, 0.5, 5, 9.5), 2.5, 2.5);
            p.setBrush(Qt::NoBrush);
            p.setPen(QPen(c, 1.5, Qt::SolidLine, Qt::RoundCap));
            p.drawArc(QRectF(3.5, 2.5, 9, 9.5), 180 * 16, 180 * 16);
            p.drawLine(QPointF(8, 12), QPointF(8, 14.5));
            p.drawLine(QPointF(5, 15), QPointF(11, 15));
            if (g == Glyph::MicrophoneOff) slash();
            break;
        }
        case Glyph::FinePosition: {
            // Cross hairs in a ring.
            p.setBrush(Qt::NoBrush);
            p.setPen(QPen(c, 1.5));
            p.drawEllipse(QPointF(8, 8), 5, 5);
            p.drawLine(QPointF(8, 0.5), QPointF(8, 5));
            p.drawLine(QPointF(8, 11), QPointF(8, 15.5));
            p.drawLine(QPointF(0.5, 8), QPointF(5, 8));
            p.drawLine(QPointF(11, 8), QPointF(15.5, 8));
            p.setPen(Qt::NoPen);
            p.setBrush(fill);
            p.drawEllipse(QPointF(8, 8), 1.3, 1.3);
            break;
        }
        case Glyph::PlayList:
            for (int i = 0; i < 3; ++i) {
                const qreal y = 3 + i * 5;
                p.drawEllipse(QPointF(2.5, y), 1.6, 1.6);
                p.drawRect(QRectF(6, y - 1, 9, 2));
            }
            break;
        case Glyph::Radio: {
            // A mast sending waves both ways.
            p.drawEllipse(QPointF(8, 5.5), 1.8, 1.8);
            p.drawPolygon(QPolygonF({QPointF(7.2, 6), QPointF(8.8, 6), QPointF(11, 15.5), QPointF(5, 15.5)}));
            p.setBrush(Qt::NoBrush);
            p.setPen(QPen(c, 1.4, Qt::SolidLine, Qt::RoundCap));
            for (qreal r : {3.6, 6.6}) {
                const QRectF box(8 - r, 5.5 - r, 2 * r, 2 * r);
                p.drawArc(box, -45 * 16, 90 * 16);
                p.drawArc(box, 135 * 16, 90 * 16);
            }
            break;
        }
        case Glyph::Settings: {
            // A gear of eight teeth with a hole.
            QPainterPath gear;
            gear.setFillRule(Qt::OddEvenFill);
            QPolygonF outline;
            for (int i = 0; i < 8; ++i) {
                const qreal a0 = (i * 45 - 11) * M_PI / 180, a1 = (i * 45 + 11) * M_PI / 180;
                const qreal b0 = (i * 45 + 22.5 - 11) * M_PI / 180, b1 = (i * 45 + 22.5 + 11) * M_PI / 180;
                outline << QPointF(8 + 7.6 * std::cos(a0), 8 + 7.6 * std::sin(a0))
                        << QPointF(8 + 7.6 * std::cos(a1), 8 + 7.6 * std::sin(a1))
                        << QPointF(8 + 5.3 * std::cos(b0), 8 + 5.3 * std::sin(b0))
                        << QPointF(8 + 5.3 * std::cos(b1), 8 + 5.3 * std::sin(b1));
            }
            gear.addPolygon(outline);
            gear.closeSubpath();
            gear.addEllipse(QPointF(8, 8), 2.4, 2.4);
            p.drawPath(gear);
            break;
        }
        case Glyph::Pin:
            // A push pin: its head, its collar and the needle.
            p.drawRect(QRectF(5, 1, 6, 2));
            p.drawPolygon(QPolygonF({QPointF(6, 3), QPointF(10, 3), QPointF(11, 8), QPointF(5, 8)}));
            p.drawRect(QRectF(2.5, 8, 11, 2));
            p.setPen(QPen(c, 1.4, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(8, 10), QPointF(8, 15.5));
            break;
        case Glyph::Minimize: p.drawRect(QRectF(3, 11, 10, 2.5)); break;
        case Glyph::Close:
            p.setPen(QPen(c, 2.2, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
            p.drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
            break;
        case Glyph::Thumb:
            for (qreal x : {5.0, 8.0, 11.0}) p.drawRect(QRectF(x - 0.6, 3, 1.2, 10));
            break;
        case Glyph::Add:
            p.drawRect(QRectF(7, 2, 2.4, 12));
            p.drawRect(QRectF(2.2, 6.8, 12, 2.4));
            break;
        case Glyph::Save:
            // A diskette: its shutter and its label cut out of the body.
            p.drawPolygon(QPolygonF({QPointF(1.5, 1.5), QPointF(12.5, 1.5), QPointF(14.5, 3.5), QPointF(14.5, 14.5),
                                     QPointF(1.5, 14.5)}));
            p.setBrush(bg);
            p.drawRect(QRectF(4.5, 1.5, 6, 4));
            p.drawRect(QRectF(4, 9, 8, 5.5));
            p.setBrush(fill);
            p.drawRect(QRectF(8.5, 2.2, 1.5, 2.6));
            break;
        case Glyph::Delete:
            // A waste bin: lid, handle and a body with slots.
            p.drawRect(QRectF(2.5, 3, 11, 1.8));
            p.drawRect(QRectF(6, 1, 4, 2));
            p.drawPolygon(QPolygonF({QPointF(3.5, 5.5), QPointF(12.5, 5.5), QPointF(11.5, 15), QPointF(4.5, 15)}));
            p.setBrush(bg);
            for (qreal x : {5.8, 7.5, 9.2}) p.drawRect(QRectF(x, 7, 1, 6.5));
            break;
        case Glyph::SelectAll:
            // Every line of a list inside a dashed marquee.
            p.setBrush(Qt::NoBrush);
            p.setPen(QPen(c, 1.2, Qt::DashLine));
            p.drawRect(QRectF(1, 1, 14, 14));
            p.setPen(Qt::NoPen);
            p.setBrush(fill);
            for (qreal y : {4.0, 7.3, 10.6}) p.drawRect(QRectF(4, y, 8, 1.6));
            break;
        case Glyph::SetStart:
        case Glyph::SetEnd: {
            // A bracket where the selection starts (or ends), an arrow pointing at it.
            const bool start = g == Glyph::SetStart;
            auto x = [&](qreal v) { return start ? v : 16 - v; };
            p.drawRect(QRectF(std::min(x(2), x(4)), 1.5, 2, 13));
            p.drawRect(QRectF(std::min(x(2), x(7)), 1.5, 5, 2));
            p.drawRect(QRectF(std::min(x(2), x(7)), 12.5, 5, 2));
            p.drawPolygon(QPolygonF({QPointF(x(15), 3.5), QPointF(x(7.5), 8), QPointF(x(15), 12.5)}));
            break;
        }
        default: break;
    }
    p.restore();
}

// The red of the record dot, the live mark and a struck-through source,
// per face; a disabled face shows them in its grey.
const QColor kAccent[4] = {QColor(226, 52, 52), QColor(255, 92, 84), QColor(190, 36, 36), QColor(96, 96, 96)};

// One face of a button: a tinted plate with a border and a glyph in the
// given area. The probe at (2, 2) shows the face's tint. No key pixel is
// drawn: skinned buttons are set up without a region, so a key pixel would
// show as blue.
// A toggle whose window is open shows a bar along its bottom edge.
Output Plate(int w, int h, int face, Glyph g, const QRect& glyphArea, bool open = false) {
    Output out{NewImage(w, h, kTint[face]), {}};
    QPainter p(&out.image);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(kTint[face].darker(160));
    p.setBrush(Qt::NoBrush);
    p.drawRect(0, 0, w - 1, h - 1);
    if (open) p.fillRect(QRect(3, h - 3, w - 6, 2), face == 3 ? kGlyph[3] : kSmallLit);
    DrawGlyph(p, glyphArea, g, kGlyph[face], kTint[face], kAccent[face]);
    out.probes.push_back({QPoint(2, 2), kTint[face]});
    return out;
}

// The glyph fills the plate less a margin of a sixth of its shorter side.
Output Face(int w, int h, int face, Glyph g, bool open = false) {
    const int m = std::max(2, std::min(w, h) / 6);
    return Plate(w, h, face, g, QRect(m, m, w - 2 * m, h - 2 * m), open);
}

// A wide face: the glyph keeps a square in the middle of the plate.
Output WideFace(int w, int h, int face, Glyph g) {
    const int side = h - 6;
    return Plate(w, h, face, g, QRect((w - side) / 2, 3, side, side));
}

// Seven segments a (top), b (upper right), c (lower right), d (bottom),
// e (lower left), f (upper left), g (middle).
const char* const kSegments[10] = {"abcdef", "bc", "abdeg", "abcdg", "bcfg", "acdfg", "acdefg", "abc", "abcdefg", "abcdfg"};

Output Digit(int w, int h, int digit, const QColor& lit, const QColor& unlit) {
    Output out{NewImage(w, h, kDigitBack), {}};
    QPainter p(&out.image);
    const int t = std::max(2, w / 5);
    const int mid = h / 2;
    std::map<char, QRect> seg = {
        {'a', QRect(t, 0, w - 2 * t, t)},
        {'b', QRect(w - t, t, t, mid - t)},
        {'c', QRect(w - t, mid + 1, t, h - mid - 1 - t)},
        {'d', QRect(t, h - t, w - 2 * t, t)},
        {'e', QRect(0, mid + 1, t, h - mid - 1 - t)},
        {'f', QRect(0, t, t, mid - t)},
        {'g', QRect(t, mid - t / 2, w - 2 * t, t)},
    };
    const std::string on = kSegments[digit];
    for (const auto& [name, rect] : seg) {
        const QColor c = on.find(name) != std::string::npos ? lit : unlit;
        p.fillRect(rect, c);
        out.probes.push_back({rect.center(), c});
    }
    return out;
}

Output Colon(int w, int h, const QColor& lit) {
    Output out{NewImage(w, h, kDigitBack), {}};
    QPainter p(&out.image);
    p.fillRect(QRect(0, 0, w, w), lit);
    p.fillRect(QRect(0, h - w, w, w), lit);
    out.probes.push_back({QPoint(w / 2, w / 2), lit});
    out.probes.push_back({QPoint(w / 2, h / 2), kDigitBack});
    return out;
}

// A frame part: body colour with key-coloured cut corners where the part
// lies on a corner of the window.
enum Cut { None = 0, TopLeft = 1, TopRight = 2, BottomLeft = 4, BottomRight = 8 };

Output FramePart(int w, int h, int cuts, int bandHeight) {
    Output out{NewImage(w, h, kBody), {}};
    if (bandHeight > 0) QPainter(&out.image).fillRect(QRect(0, 4, w, bandHeight - 8), kBand);
    // Cut corners pixel by pixel: a pixel within c steps of the corner is key.
    const int c = std::min({6, w, h});
    for (int dy = 0; dy < c; ++dy) {
        for (int dx = 0; dx + dy < c; ++dx) {
            if (cuts & TopLeft) out.image.setPixelColor(dx, dy, kKey);
            if (cuts & TopRight) out.image.setPixelColor(w - 1 - dx, dy, kKey);
            if (cuts & BottomLeft) out.image.setPixelColor(dx, h - 1 - dy, kKey);
            if (cuts & BottomRight) out.image.setPixelColor(w - 1 - dx, h - 1 - dy, kKey);
        }
    }
    if (cuts & TopLeft) out.probes.push_back({QPoint(0, 0), kKey});
    if (cuts & TopRight) out.probes.push_back({QPoint(w - 1, 0), kKey});
    if (cuts & BottomLeft) out.probes.push_back({QPoint(0, h - 1), kKey});
    if (cuts & BottomRight) out.probes.push_back({QPoint(w - 1, h - 1), kKey});
    out.probes.push_back({QPoint(w / 2, h / 2), out.image.pixelColor(w / 2, h / 2)});
    return out;
}

Output Grip(int w, int h, bool right) {
    Output out{NewImage(w, h, kBody), {}};
    for (int i = 4; i < std::min(w, h); i += 4) {
        for (int k = 0; k < i; ++k) {
            const int x = right ? w - 1 - k : k;
            const int y = h - 1 - (i - k);
            if (x >= 0 && x < w && y >= 0 && y < h) out.image.setPixelColor(x, y, kEdge);
        }
    }
    out.probes.push_back({QPoint(right ? 1 : w - 2, 1), kBody});
    return out;
}

// The main window (470 x 190) in pixels of its shape bitmap. The drag band
// is the top 28 rows; the fullness strip (102, 142)-(437, 150) is where the
// program draws the cache's fullness and where a click jumps to.
constexpr int kMainW = 470, kMainH = 190;
const QRect kPanel(10, 31, 450, 126);           // the dark display panel
const QRect kStrip(102, 142, 335, 8);            // the fullness strip, the slider's track
constexpr int kColumnLeft = 20, kColumnRight = 240;

// Digit sizes: the play position is large, the cache figures small.
const QSize kBigDigit(26, 52), kBigColon(6, 32);
const QSize kSmallDigit(8, 12), kSmallColon(2, 6);
constexpr int kDigitGap = 3;  // the displays put each item 3 pixels after the last

// A time display's size: six digits, two colons, seven gaps.
QSize TimeSize(const QSize& digit, const QSize& colon) {
    return {6 * digit.width() + 2 * colon.width() + 7 * kDigitGap, digit.height()};
}

struct Control {
    int id;
    QRect rect;
};

const QSize kTransport(30, 24), kTool(24, 24);
constexpr int kButtonTop = 161;

// Every control of the main window, left to right and top to bottom.
std::vector<Control> MainControls() {
    std::vector<Control> c = {{1077, QRect(412, 7, 14, 14)}, {1076, QRect(430, 7, 14, 14)}, {1075, QRect(448, 7, 14, 14)}};
    const QSize bigTime = TimeSize(kBigDigit, kBigColon), smallTime = TimeSize(kSmallDigit, kSmallColon);
    c.push_back({1051, QRect(QPoint(kColumnLeft, 49), bigTime)});
    c.push_back({1052, QRect(QPoint(kColumnRight, 49), smallTime)});
    c.push_back({1053, QRect(kColumnRight + smallTime.width() + 6, 49, 2 * kSmallDigit.width() + kDigitGap,
                             kSmallDigit.height())});
    c.push_back({1066, QRect(kColumnRight, 67, 210, 14)});
    c.push_back({1080, QRect(kColumnRight, 82, 210, 12)});
    c.push_back({1065, QRect(kColumnLeft, 110, 52, 18)});
    c.push_back({1063, QRect(kColumnLeft + 58, 110, 76, 18)});
    c.push_back({1064, QRect(kColumnRight, 110, 56, 18)});
    // The thumb rides on the strip, its left edge at the strip's start.
    c.push_back({1081, QRect(kStrip.left(), kStrip.center().y() - 6, 10, 14)});
    // Transport: back 30, back 5, play, skip 5, skip 30, record, live;
    // then the tools.
    int x = 12;
    for (int id : {1006, 1008, 1001, 1007, 1005, 1000, 1004}) {
        c.push_back({id, QRect(QPoint(x, kButtonTop), kTransport)});
        x += kTransport.width() + 2;
    }
    x += 10;
    for (int id : {1014, 1107, 1108, 1119, 1015, 1011, 1013, 1012}) {
        c.push_back({id, QRect(QPoint(x, kButtonTop), kTool)});
        x += kTool.width() + 2;
    }
    return c;
}

const std::vector<Control> kMainControls = MainControls();

QRect MainRect(int controlId) {
    for (const Control& c : kMainControls)
        if (c.id == controlId) return c.rect;
    return {};
}

QSize MainSize(int controlId) { return MainRect(controlId).size(); }

const QColor kLabel(176, 150, 112);  // captions on the panel
const QColor kTitle(238, 222, 196);

// The main window's shape: cut corners, the drag band with the program's
// name, and the display panel with its captions, the strip on it.
Output MainShape() {
    Output out = FramePart(kMainW, kMainH, TopLeft | TopRight | BottomLeft | BottomRight, 0);
    QPainter p(&out.image);
    p.fillRect(QRect(8, 4, kMainW - 16, 20), kBand);
    DrawText(p, QRectF(16, 4, 200, 20), QStringLiteral("Tonquil"), 15, kTitle, Qt::AlignLeft | Qt::AlignVCenter);
    p.fillRect(kPanel, kDigitBack);
    p.setPen(kBand);
    p.drawRect(kPanel.adjusted(0, 0, -1, -1));
    auto caption = [&](int x, int y, const QString& text) {
        DrawText(p, QRectF(x, y, 200, 11), text, 10, kLabel, Qt::AlignLeft | Qt::AlignVCenter);
    };
    caption(kColumnLeft, 36, QStringLiteral("PLAY POSITION"));
    caption(kColumnRight, 36, QStringLiteral("CACHE USED"));
    const QRect percent = MainRect(1053);
    DrawText(p, QRectF(percent.right() + 3, percent.top() - 1, 14, percent.height() + 2), QStringLiteral("%"), 12,
             kSmallLit, Qt::AlignLeft | Qt::AlignVCenter);
    caption(kColumnLeft, kStrip.top() - 2, QStringLiteral("POSITION"));
    p.fillRect(kStrip, QColor(44, 30, 30));
    out.probes.clear();
    out.probes.push_back({QPoint(0, 0), kKey});
    out.probes.push_back({QPoint(kMainW - 1, kMainH - 1), kKey});
    out.probes.push_back({QPoint(300, 10), kBand});
    out.probes.push_back({QPoint(kMainW / 2, kMainH - 4), kBody});
    out.probes.push_back({QPoint(kPanel.left() + 200, kPanel.top() + 90), kDigitBack});
    return out;
}

Output Plain(int w, int h, const QColor& fill, const QColor& accent) {
    Output out{NewImage(w, h, fill), {}};
    QPainter p(&out.image);
    p.fillRect(QRect(2, h / 2 - 1, w - 4, 2), accent);
    out.probes.push_back({QPoint(1, 1), fill});
    return out;
}

// A window's title where its frame has room for one.
Output Title(int w, int h, const QString& text, const QColor& colour) {
    Output out{NewImage(w, h, kBand), {}};
    QPainter p(&out.image);
    DrawText(p, QRectF(0, 0, w, h), text, h, colour, Qt::AlignLeft | Qt::AlignVCenter);
    out.probes.push_back({QPoint(w - 1, 0), kBand});
    return out;
}

// A lamp: its light and its caption, both lit or both dim.
Output Lamp(int w, int h, const QString& caption, const QColor& light, bool lit) {
    Output out{NewImage(w, h, kDigitBack), {}};
    QPainter p(&out.image);
    const QColor led = lit ? light : kUnlit.lighter(130);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(Qt::NoPen);
    p.setBrush(led);
    const int d = h - 6;
    p.drawEllipse(QRect(3, 3, d, d));
    DrawText(p, QRectF(d + 6, 0, w - d - 7, h), caption, h - 4, lit ? light : QColor(104, 88, 80),
             Qt::AlignLeft | Qt::AlignVCenter);
    out.probes.push_back({QPoint(3 + d / 2, 3 + d / 2), led});
    return out;
}

Output Meter(int w, int h, int segments) {
    Output out{NewImage(w, h, kDigitBack), {}};
    const int step = w / 10;
    for (int i = 0; i < 10; ++i) {
        const QColor c = i < segments ? kSmallLit : kUnlit;
        QPainter(&out.image).fillRect(QRect(i * step + 1, 1, step - 2, h - 2), c);
        out.probes.push_back({QPoint(i * step + step / 2, h / 2), c});
    }
    return out;
}

// The meter's scale: a tick under each segment's edge, 0, 50 and 100 at the ends and middle.
Output MeterScale(int w, int h) {
    Output out{NewImage(w, h, kDigitBack), {}};
    QPainter p(&out.image);
    const int step = w / 10;
    for (int i = 0; i <= 10; ++i) p.fillRect(QRect(std::min(i * step, w - 1), 0, 1, i % 5 ? 2 : 4), kLabel);
    DrawText(p, QRectF(2, 2, 30, h - 2), QStringLiteral("0"), h - 3, kLabel, Qt::AlignLeft | Qt::AlignBottom, false);
    DrawText(p, QRectF(w / 2 - 15, 2, 30, h - 2), QStringLiteral("50"), h - 3, kLabel, Qt::AlignCenter | Qt::AlignBottom,
             false);
    DrawText(p, QRectF(w - 32, 2, 30, h - 2), QStringLiteral("100"), h - 3, kLabel, Qt::AlignRight | Qt::AlignBottom,
             false);
    out.probes.push_back({QPoint(0, 1), kLabel});
    out.probes.push_back({QPoint(step / 2, 1), kDigitBack});
    return out;
}

Output Notice(int w, int h) {
    Output out{NewImage(w, h, QColor(236, 232, 216)), {}};
    QPainter p(&out.image);
    p.setPen(QColor(110, 30, 40));
    p.drawRect(0, 0, w - 1, h - 1);
    p.fillRect(QRect(1, 1, w - 2, 4), QColor(110, 30, 40));
    out.probes.push_back({QPoint(w / 2, h / 2), QColor(236, 232, 216)});
    out.probes.push_back({QPoint(w / 2, 2), QColor(110, 30, 40)});
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: skingen OUTPUT_DIR\n");
        return 2;
    }
    // Text is drawn with the font engine, which needs an application; no
    // window is ever shown.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString dir = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(dir)) {
        std::fprintf(stderr, "skingen: cannot create %s\n", argv[1]);
        return 1;
    }
    std::map<int, Output> all;
    auto add = [&](int id, Output o) { all[id] = std::move(o); };

    // A button of four faces (normal, hover, pressed, disabled) from its control's size.
    auto button = [&](int control, std::vector<int> ids, Glyph g) {
        const QSize s = MainSize(control);
        for (size_t i = 0; i < ids.size(); ++i) add(ids[i], Face(s.width(), s.height(), static_cast<int>(i), g));
    };
    button(1001, {531, 532, 533, 534}, Glyph::Play);
    button(1001, {535, 536, 537, 538}, Glyph::Pause);
    button(1000, {523, 524, 525, 526}, Glyph::Record);
    button(1000, {527, 528, 529, 530}, Glyph::Stop);
    button(1004, {196, 197, 198, 199}, Glyph::Live);
    button(1005, {179, 180, 181, 182}, Glyph::Skip30);
    button(1006, {183, 184, 185, 186}, Glyph::Back30);
    button(1007, {175, 176, 177, 178}, Glyph::Skip5);
    button(1008, {171, 172, 173, 174}, Glyph::Back5);
    button(1013, {247, 248, 249, 250}, Glyph::Settings);
    button(1014, {240, 241, 242, 243}, Glyph::NewRecording);
    button(1119, {415, 416, 417, 418}, Glyph::FinePosition);
    {
        // Toggles: the recording sources show one face per setting (on,
        // then struck through when off); always-on-top shows its latch in
        // the pressed tint; the playlist and the radio show their window
        // open in the pressed tint with a bar along the bottom.
        const QSize s = MainSize(1107);
        auto face = [&](int id, int tint, Glyph g, bool open = false) {
            add(id, Face(s.width(), s.height(), tint, g, open));
        };
        face(412, 0, Glyph::Speaker);
        face(411, 0, Glyph::SpeakerOff);
        face(414, 0, Glyph::Microphone);
        face(413, 0, Glyph::MicrophoneOff);
        face(236, 0, Glyph::Pin);
        face(237, 2, Glyph::Pin);
        face(239, 3, Glyph::Pin);
        face(520, 0, Glyph::PlayList);
        face(521, 1, Glyph::PlayList);
        face(522, 3, Glyph::PlayList);
        face(519, 2, Glyph::PlayList, true);
        face(518, 3, Glyph::PlayList, true);
        face(515, 0, Glyph::Radio);
        face(516, 1, Glyph::Radio);
        face(517, 3, Glyph::Radio);
        face(514, 2, Glyph::Radio, true);
        face(513, 3, Glyph::Radio, true);
    }
    for (int i = 0; i < 3; ++i) {
        add(244 + i, Face(14, 14, i, Glyph::Help));
        add(255 + i, Face(14, 14, i, Glyph::Minimize));
        add(259 + i, Face(14, 14, i, Glyph::Close));
    }
    const QSize thumb = MainSize(1081);
    add(326, Face(thumb.width(), thumb.height(), 0, Glyph::Thumb));
    add(327, Face(thumb.width(), thumb.height(), 1, Glyph::Thumb));
    add(325, Face(thumb.width(), thumb.height(), 2, Glyph::Thumb));
    // Lamps: state 0 then state 1 of each, captioned.
    const QColor green(80, 210, 96), amber(236, 168, 48), red(236, 56, 48);
    add(155, Lamp(MainSize(1063).width(), MainSize(1063).height(), QStringLiteral("LIVE"), green, true));
    add(156, Lamp(MainSize(1063).width(), MainSize(1063).height(), QStringLiteral("REPLAY"), amber, true));
    add(158, Lamp(MainSize(1064).width(), MainSize(1064).height(), QStringLiteral("FULL"), red, false));
    add(157, Lamp(MainSize(1064).width(), MainSize(1064).height(), QStringLiteral("FULL"), red, true));
    add(159, Lamp(MainSize(1065).width(), MainSize(1065).height(), QStringLiteral("REC"), red, false));
    add(160, Lamp(MainSize(1065).width(), MainSize(1065).height(), QStringLiteral("REC"), red, true));
    const QSize meter = MainSize(1066);
    for (int s = 0; s < 9; ++s) add(312 + s, Meter(meter.width(), meter.height(), s));
    add(311, Meter(meter.width(), meter.height(), 9));
    add(310, MeterScale(MainSize(1080).width(), MainSize(1080).height()));

    const int bigIds[10] = {143, 141, 142, 144, 145, 146, 147, 148, 150, 152};
    const int smallIds[10] = {298, 299, 301, 302, 303, 304, 305, 306, 307, 297};
    for (int d = 0; d < 10; ++d) {
        add(bigIds[d], Digit(kBigDigit.width(), kBigDigit.height(), d, kLit, kUnlit));
        add(smallIds[d], Digit(kSmallDigit.width(), kSmallDigit.height(), d, kSmallLit, kUnlit));
    }
    add(153, Colon(kBigColon.width(), kBigColon.height(), kLit));
    add(308, Colon(kSmallColon.width(), kSmallColon.height(), kSmallLit));
    // The playlist's time display fills its item (68 x 14 units in the dialog font, 7 x 13 pixel units).
    add(512, Plain(119, 23, kDigitBack, kBand));

    // Playlist buttons, each the size of its item: 40 or 48 x 11 units.
    struct ListButton {
        std::vector<int> ids;
        Glyph glyph;
        int width;
    };
    const std::vector<ListButton> listButtons = {{{223, 224, 225, 226}, Glyph::Add, 70},
                                                 {{228, 229, 230, 231}, Glyph::Save, 70},
                                                 {{232, 233, 234, 235}, Glyph::Delete, 70},
                                                 {{291, 293, 294, 295}, Glyph::SelectAll, 84},
                                                 {{187, 188, 189, 190}, Glyph::SetStart, 84},
                                                 {{191, 192, 193, 194}, Glyph::SetEnd, 84}};
    for (const ListButton& b : listButtons)
        for (size_t i = 0; i < b.ids.size(); ++i) add(b.ids[i], WideFace(b.width, 18, static_cast<int>(i), b.glyph));

    // Frame parts of the skinned dialogs and the main window's shapes.
    add(500, FramePart(11, 42, TopLeft, 42));
    add(501, FramePart(11, 42, TopRight, 42));
    add(502, FramePart(9, 40, BottomLeft, 0));
    add(503, FramePart(9, 40, BottomRight, 0));
    add(504, FramePart(2, 42, None, 42));
    add(505, FramePart(9, 2, None, 0));
    add(506, FramePart(9, 2, None, 0));
    add(507, FramePart(2, 37, None, 0));
    add(508, Grip(26, 28, true));
    add(509, Grip(26, 28, false));
    // The playlist's bottom band holds its buttons and time display.
    add(497, FramePart(9, 66, BottomLeft, 0));
    add(498, FramePart(9, 66, BottomRight, 0));
    add(499, FramePart(2, 66, None, 0));
    // The titles of the radio and playlist windows.
    add(495, Title(81, 11, QStringLiteral("Radio"), kTitle));
    add(496, Title(81, 11, QStringLiteral("Playlist"), kTitle));
    add(510, MainShape());
    // The playlist's first size: its template's height (300 units), wide enough for its buttons.
    add(511, FramePart(390, 488, TopLeft | TopRight | BottomLeft | BottomRight, 42));
    add(300, Notice(180, 86));

    QJsonObject bitmaps;
    QString qrc = "<!DOCTYPE RCC>\n<RCC version=\"1.0\">\n<qresource prefix=\"/skin\">\n";
    for (const auto& [id, out] : all) {
        const QString name = QString::number(id) + ".png";
        if (!out.image.save(dir + "/" + name, "PNG")) {
            std::fprintf(stderr, "skingen: cannot write %s\n", qPrintable(name));
            return 1;
        }
        qrc += "  <file>" + name + "</file>\n";
        QJsonArray probes;
        for (const Probe& pr : out.probes)
            probes.append(QJsonObject{{"x", pr.at.x()}, {"y", pr.at.y()}, {"rgb", pr.colour.name()}});
        bool keyed = false;
        for (int y = 0; y < out.image.height() && !keyed; ++y)
            for (int x = 0; x < out.image.width() && !keyed; ++x)
                keyed = (out.image.pixel(x, y) & 0xFFFFFF) == 0x0000FF;
        bitmaps[QString::number(id)] = QJsonObject{{"w", out.image.width()},
                                                   {"h", out.image.height()},
                                                   {"keyed", keyed},
                                                   {"probes", probes}};
    }
    qrc += "  <file>manifest.json</file>\n</qresource>\n</RCC>\n";

    QJsonObject controls;
    for (const Control& c : kMainControls)
        controls[QString::number(c.id)] =
            QJsonArray{c.rect.x(), c.rect.y(), c.rect.width(), c.rect.height()};
    QJsonObject manifest{{"key", "#0000ff"}, {"bitmaps", bitmaps}, {"mainControls", controls}};

    QFile mf(dir + "/manifest.json");
    QFile qf(dir + "/skin.qrc");
    if (!mf.open(QIODevice::WriteOnly) || !qf.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "skingen: cannot write the manifest\n");
        return 1;
    }
    mf.write(QJsonDocument(manifest).toJson());
    qf.write(qrc.toUtf8());
    return 0;
}
