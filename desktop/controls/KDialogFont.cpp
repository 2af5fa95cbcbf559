#include "desktop/controls/KDialogFont.h"

#include "desktop/controls/KWndSkin.h"

#include <QFontMetrics>

#include <algorithm>
#include <cstdint>
#include <map>
#include <mutex>

namespace {

std::map<int, SDialogTemplate>& Templates() {
    static std::map<int, SDialogTemplate> templates;
    return templates;
}

std::mutex& TemplatesMutex() {
    static std::mutex m;
    return m;
}

// x * numerator / denominator rounded to the nearest, as dialog units are.
int MulDivRound(int x, int numerator, int denominator) {
    if (denominator == 0) return 0;
    const long long p = static_cast<long long>(x) * numerator;
    return static_cast<int>((p >= 0 ? p + denominator / 2 : p - denominator / 2) / denominator);
}

}  // namespace

void KDialogFont::RegisterTemplate(const SDialogTemplate& dialog) {
    std::lock_guard<std::mutex> lock(TemplatesMutex());
    Templates()[dialog.id] = dialog;
}

const SDialogTemplate* KDialogFont::FindTemplate(int dialogId) {
    std::lock_guard<std::mutex> lock(TemplatesMutex());
    auto it = Templates().find(dialogId);
    return it == Templates().end() ? nullptr : &it->second;
}

QFont KDialogFont::MakeFont(const QString& face, int pixelHeight, int weight, bool italic) {
    static const QStringList kMapped = {QStringLiteral("Tahoma"), QStringLiteral("Verdana"),
                                        QStringLiteral("MS Shell Dlg"), QStringLiteral("MS Shell Dlg 2")};
    QFont font(kMapped.contains(face, Qt::CaseInsensitive) || face.isEmpty() ? QStringLiteral("DejaVu Sans") : face);
    const long long pixels = pixelHeight < 0 ? -static_cast<long long>(pixelHeight) : pixelHeight;
    font.setPixelSize(static_cast<int>(std::clamp<long long>(pixels, 1, -PixelHeight(kMaxPointSize, kMaxDpi))));
    font.setWeight(static_cast<QFont::Weight>(std::clamp(weight, 1, 1000)));
    font.setItalic(italic);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

int KDialogFont::PixelHeight(int pointSize, int referenceDpi) {
    long long points = pointSize;
    // Negated in 64 bits: the negation of the smallest int does not fit in one.
    if (points < 0 || points > 32767) points = static_cast<int16_t>(static_cast<uint16_t>(-points));
    points = std::clamp<long long>(points < 0 ? -points : points, 0, kMaxPointSize);
    const int dpi = std::clamp(referenceDpi, 1, kMaxDpi);
    return -static_cast<int>(static_cast<double>(points) * dpi / 72.0 + 0.5);
}

QSize KDialogFont::BaseUnits(const QFont& font) {
    const QFontMetrics fm(font);
    const int letters = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return {(letters / 26 + 1) / 2, fm.height()};
}

QRect KDialogFont::ToPixels(const QRect& du, const QSize& base) {
    return {MulDivRound(du.x(), base.width(), 4), MulDivRound(du.y(), base.height(), 8),
            MulDivRound(du.width(), base.width(), 4), MulDivRound(du.height(), base.height(), 8)};
}

bool KDialogFont::Apply(QWidget* window, int dialogId, int referenceDpi) {
    Release();
    const SDialogTemplate* t = FindTemplate(dialogId);
    if (!window || !t) return false;
    m_dialogId = dialogId;
    m_window = window;
    const int points = t->hasFont ? t->pointSize : 8;
    const int weight = t->hasFont ? t->weight : 400;
    const bool italic = t->hasFont ? t->italic : false;
    const QString face = t->hasFont ? t->face : QStringLiteral("Tahoma");
    m_font = MakeFont(face, PixelHeight(points, referenceDpi), weight, italic);
    m_oldFont = window->font();
    window->setFont(m_font);
    m_applied = true;
    const QSize base = BaseUnits(m_font);
    window->resize(ToPixels(QRect(QPoint(0, 0), t->size), base).size());
    for (const SDialogItem& item : t->items) {
        if (QWidget* child = FindDlgItem(window, item.id)) {
            child->setGeometry(ToPixels(item.rect, base));
            child->setFont(m_font);
        }
    }
    return true;
}

void KDialogFont::Release() {
    if (m_window) return;  // the window still uses the font
    Reset();
}

void KDialogFont::Reset() {
    m_dialogId = 0;
    m_window = nullptr;
    m_font = QFont();
    m_oldFont = QFont();
    m_applied = false;
}
