// Draws every skin bitmap of the desktop program at build time, writes the
// resource list that embeds them and a manifest of probe points for tests.
// The main window's control rectangles, in pixels of its shape bitmap, are
// written to the manifest too, so that the program places its controls on
// the faces drawn here.
//
// Pure blue (0x0000FF) is the key colour. Shapes are drawn without
// antialiasing so that no blended pixel lies next to a key pixel.
#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QPolygon>
#include <QRect>

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

enum class Glyph { Play, Pause, Record, Stop, SkipRight, SkipLeft, Live, Dot, Bars, Square, Cross, Dash, Plus, Ring, Up, Down };

QImage NewImage(int w, int h, const QColor& fill) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(fill);
    return img;
}

void DrawGlyph(QPainter& p, const QRect& area, Glyph g, const QColor& c) {
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    const int l = area.left(), t = area.top(), r = area.right(), b = area.bottom();
    const int cx = area.center().x(), cy = area.center().y();
    switch (g) {
        case Glyph::Play: p.drawPolygon(QPolygon({QPoint(l, t), QPoint(r, cy), QPoint(l, b)})); break;
        case Glyph::Pause:
            p.drawRect(QRect(l, t, area.width() / 3, area.height()));
            p.drawRect(QRect(r - area.width() / 3 + 1, t, area.width() / 3, area.height()));
            break;
        case Glyph::Record: p.drawEllipse(area); break;
        case Glyph::Stop: p.drawRect(area); break;
        case Glyph::SkipRight:
            p.drawPolygon(QPolygon({QPoint(l, t), QPoint(cx, cy), QPoint(l, b)}));
            p.drawPolygon(QPolygon({QPoint(cx, t), QPoint(r, cy), QPoint(cx, b)}));
            break;
        case Glyph::SkipLeft:
            p.drawPolygon(QPolygon({QPoint(r, t), QPoint(cx, cy), QPoint(r, b)}));
            p.drawPolygon(QPolygon({QPoint(cx, t), QPoint(l, cy), QPoint(cx, b)}));
            break;
        case Glyph::Live:
            p.drawRect(QRect(l, t, 2, area.height()));
            p.drawRect(QRect(l, b - 1, area.width(), 2));
            break;
        case Glyph::Dot: p.drawEllipse(QRect(cx - 2, cy - 2, 5, 5)); break;
        case Glyph::Bars:
            for (int y = t; y <= b; y += 3) p.drawRect(QRect(l, y, area.width(), 1));
            break;
        case Glyph::Square: p.drawRect(area.adjusted(1, 1, -1, -1)); break;
        case Glyph::Cross:
            for (int i = 0; i < area.width() && i < area.height(); ++i) {
                p.drawRect(QRect(l + i, t + i, 1, 1));
                p.drawRect(QRect(r - i, t + i, 1, 1));
            }
            break;
        case Glyph::Dash: p.drawRect(QRect(l, cy, area.width(), 2)); break;
        case Glyph::Plus:
            p.drawRect(QRect(l, cy, area.width(), 2));
            p.drawRect(QRect(cx, t, 2, area.height()));
            break;
        case Glyph::Ring:
            p.setPen(c);
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(area.adjusted(0, 0, -1, -1));
            break;
        case Glyph::Up: p.drawPolygon(QPolygon({QPoint(l, b), QPoint(cx, t), QPoint(r, b)})); break;
        case Glyph::Down: p.drawPolygon(QPolygon({QPoint(l, t), QPoint(cx, b), QPoint(r, t)})); break;
    }
}

// One face of a button: a tinted plate with a border and a glyph in the
// given area. The probe at (2, 2) shows the face's tint. No key pixel is
// drawn: skinned buttons are set up without a region, so a key pixel would
// show as blue.
Output Plate(int w, int h, int face, Glyph g, const QRect& glyphArea) {
    Output out{NewImage(w, h, kTint[face]), {}};
    QPainter p(&out.image);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(kTint[face].darker(160));
    p.setBrush(Qt::NoBrush);
    p.drawRect(0, 0, w - 1, h - 1);
    DrawGlyph(p, glyphArea, g, kGlyph[face]);
    out.probes.push_back({QPoint(2, 2), kTint[face]});
    return out;
}

// The glyph fills the middle half of the plate.
Output Face(int w, int h, int face, Glyph g) {
    const int mx = w / 4, my = h / 4;
    return Plate(w, h, face, g, QRect(mx, my, w - 2 * mx, h - 2 * my));
}

// A wide face: the glyph keeps a square in the middle of the plate.
Output WideFace(int w, int h, int face, Glyph g) {
    const int side = h - 2 * (h / 4);
    return Plate(w, h, face, g, QRect((w - side) / 2, h / 4, side, side));
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

// The main window's shape: cut corners, a drag band on top and the strip
// on which the program draws the cache fullness.
Output MainShape(int w, int h) {
    Output out = FramePart(w, h, TopLeft | TopRight | BottomLeft | BottomRight, 0);
    QPainter p(&out.image);
    p.fillRect(QRect(8, 4, w - 16, 20), kBand);
    p.fillRect(QRect(102, 142, 335, 8), kDigitBack);
    out.probes.clear();
    out.probes.push_back({QPoint(0, 0), kKey});
    out.probes.push_back({QPoint(w - 1, h - 1), kKey});
    out.probes.push_back({QPoint(20, 10), kBand});
    out.probes.push_back({QPoint(w / 2, 100), kBody});
    return out;
}

Output Plain(int w, int h, const QColor& fill, const QColor& accent) {
    Output out{NewImage(w, h, fill), {}};
    QPainter p(&out.image);
    p.fillRect(QRect(2, h / 2 - 1, w - 4, 2), accent);
    out.probes.push_back({QPoint(1, 1), fill});
    return out;
}

Output Lamp(int w, int h, const QColor& lit) {
    Output out{NewImage(w, h, kUnlit), {}};
    QPainter p(&out.image);
    p.fillRect(QRect(3, 3, w - 6, h - 6), lit);
    out.probes.push_back({QPoint(w / 2, h / 2), lit});
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

struct Control {
    int id;
    QRect rect;
};

// Controls of the main window in pixels of its shape bitmap (470 x 190).
const std::vector<Control> kMainControls = {
    {1077, QRect(412, 7, 14, 14)},  {1076, QRect(430, 7, 14, 14)},  {1075, QRect(448, 7, 14, 14)},
    {1051, QRect(20, 40, 110, 20)}, {1063, QRect(140, 40, 40, 14)}, {1065, QRect(185, 40, 40, 14)},
    {1064, QRect(230, 40, 40, 14)}, {1052, QRect(290, 40, 80, 14)}, {1053, QRect(380, 40, 24, 14)},
    {1066, QRect(290, 62, 60, 10)}, {1080, QRect(410, 60, 40, 20)}, {1081, QRect(102, 122, 10, 14)},
    {1008, QRect(20, 156, 28, 24)}, {1006, QRect(52, 156, 28, 24)}, {1001, QRect(84, 156, 32, 24)},
    {1007, QRect(120, 156, 28, 24)}, {1005, QRect(152, 156, 28, 24)}, {1004, QRect(184, 156, 28, 24)},
    {1000, QRect(216, 156, 32, 24)}, {1014, QRect(256, 158, 20, 20)}, {1107, QRect(284, 158, 20, 20)},
    {1108, QRect(308, 158, 20, 20)}, {1012, QRect(332, 158, 20, 20)}, {1013, QRect(356, 158, 20, 20)},
    {1015, QRect(380, 158, 20, 20)}, {1011, QRect(404, 158, 20, 20)}, {1119, QRect(428, 158, 20, 20)},
};

QSize MainSize(int controlId) {
    for (const Control& c : kMainControls)
        if (c.id == controlId) return c.rect.size();
    return {};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: skingen OUTPUT_DIR\n");
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(dir)) {
        std::fprintf(stderr, "skingen: cannot create %s\n", argv[1]);
        return 1;
    }
    std::map<int, Output> all;
    auto add = [&](int id, Output o) { all[id] = std::move(o); };

    // A button of four faces from its control's size.
    auto button = [&](int control, std::vector<int> ids, Glyph g) {
        const QSize s = MainSize(control);
        for (size_t i = 0; i < ids.size(); ++i) add(ids[i], Face(s.width(), s.height(), static_cast<int>(i), g));
    };
    button(1001, {531, 532, 533, 534}, Glyph::Play);
    button(1001, {535, 536, 537, 538}, Glyph::Pause);
    button(1000, {523, 524, 525, 526}, Glyph::Record);
    button(1000, {527, 528, 529, 530}, Glyph::Stop);
    button(1004, {196, 197, 198, 199}, Glyph::Live);
    button(1005, {179, 180, 181, 182}, Glyph::SkipRight);
    button(1006, {183, 184, 185, 186}, Glyph::SkipLeft);
    button(1007, {175, 176, 177, 178}, Glyph::Play);
    button(1008, {171, 172, 173, 174}, Glyph::Up);
    button(1013, {247, 248, 249, 250}, Glyph::Bars);
    button(1014, {240, 241, 242, 243}, Glyph::Plus);
    button(1119, {415, 416, 417, 418}, Glyph::Ring);
    {
        const QSize s = MainSize(1107);
        add(412, Face(s.width(), s.height(), 0, Glyph::Dot));
        add(411, Face(s.width(), s.height(), 0, Glyph::Dash));
        add(414, Face(s.width(), s.height(), 0, Glyph::Record));
        add(413, Face(s.width(), s.height(), 0, Glyph::Dash));
        add(236, Face(s.width(), s.height(), 0, Glyph::Up));
        add(237, Face(s.width(), s.height(), 1, Glyph::Up));
        add(239, Face(s.width(), s.height(), 3, Glyph::Up));
        add(520, Face(s.width(), s.height(), 0, Glyph::Bars));
        add(521, Face(s.width(), s.height(), 1, Glyph::Bars));
        add(522, Face(s.width(), s.height(), 3, Glyph::Bars));
        add(519, Face(s.width(), s.height(), 2, Glyph::Bars));
        add(518, Face(s.width(), s.height(), 3, Glyph::Square));
        add(515, Face(s.width(), s.height(), 0, Glyph::Ring));
        add(516, Face(s.width(), s.height(), 1, Glyph::Ring));
        add(517, Face(s.width(), s.height(), 3, Glyph::Ring));
        add(514, Face(s.width(), s.height(), 2, Glyph::Ring));
        add(513, Face(s.width(), s.height(), 3, Glyph::Dot));
    }
    for (int i = 0; i < 3; ++i) {
        add(244 + i, Face(14, 14, i, Glyph::Dot));
        add(255 + i, Face(14, 14, i, Glyph::Dash));
        add(259 + i, Face(14, 14, i, Glyph::Cross));
    }
    add(326, Face(10, 14, 0, Glyph::Square));
    add(327, Face(10, 14, 1, Glyph::Square));
    add(325, Face(10, 14, 2, Glyph::Square));
    add(155, Lamp(40, 14, QColor(80, 200, 90)));
    add(156, Lamp(40, 14, QColor(230, 160, 40)));
    add(158, Lamp(40, 14, kUnlit.lighter(150)));
    add(157, Lamp(40, 14, QColor(230, 60, 50)));
    add(159, Lamp(40, 14, kUnlit.lighter(150)));
    add(160, Lamp(40, 14, QColor(230, 40, 40)));
    for (int s = 0; s < 9; ++s) add(312 + s, Meter(60, 10, s));
    add(311, Meter(60, 10, 9));
    add(310, Plain(40, 20, kBand, kEdge));

    // Digits: the play position is large, the cache figures small.
    const int bigIds[10] = {143, 141, 142, 144, 145, 146, 147, 148, 150, 152};
    const int smallIds[10] = {298, 299, 301, 302, 303, 304, 305, 306, 307, 297};
    for (int d = 0; d < 10; ++d) {
        add(bigIds[d], Digit(11, 18, d, kLit, kUnlit));
        add(smallIds[d], Digit(8, 12, d, kSmallLit, kUnlit));
    }
    add(153, Colon(3, 10, kLit));
    add(308, Colon(2, 6, kSmallLit));
    // The playlist's time display fills its item (68 x 14 units in the dialog font, 7 x 13 pixel units).
    add(512, Plain(119, 23, kDigitBack, kBand));

    // Playlist buttons, each the size of its item: 40 or 48 x 11 units.
    struct ListButton {
        std::vector<int> ids;
        Glyph glyph;
        int width;
    };
    const std::vector<ListButton> listButtons = {{{223, 224, 225, 226}, Glyph::Plus, 70},
                                                 {{228, 229, 230, 231}, Glyph::Down, 70},
                                                 {{232, 233, 234, 235}, Glyph::Cross, 70},
                                                 {{291, 293, 294, 295}, Glyph::Bars, 84},
                                                 {{187, 188, 189, 190}, Glyph::SkipLeft, 84},
                                                 {{191, 192, 193, 194}, Glyph::SkipRight, 84}};
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
    add(495, Plain(81, 11, kBand, kLit));
    add(496, Plain(81, 11, kBand, kSmallLit));
    add(510, MainShape(470, 190));
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
