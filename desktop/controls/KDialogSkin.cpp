#include "desktop/controls/KDialogSkin.h"

#include "desktop/controls/KSkinResources.h"

#include <QPainter>
#include <QWidget>

KDialogSkin::KDialogSkin(QWidget* host) : m_host(host) {}

std::optional<QRegion> KDialogSkin::RegionFromImage(const QImage& source, quint32 key) {
    if (source.isNull()) return std::nullopt;
    const QImage image =
        source.format() == QImage::Format_RGB32 ? source : source.convertToFormat(QImage::Format_RGB32);
    key &= 0xFFFFFF;
    // Rows top to bottom, runs left to right: the rectangles come in the
    // banded order that setRects takes, so no union is computed per run.
    std::vector<QRect> rects;
    const int w = image.width();
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        int x = 0;
        while (x < w) {
            while (x < w && (row[x] & 0xFFFFFF) == key) ++x;
            const int start = x;
            while (x < w && (row[x] & 0xFFFFFF) != key) ++x;
            if (x > start) rects.emplace_back(start, y, x - start, 1);
        }
    }
    QRegion region;
    if (!rects.empty()) region.setRects(rects.data(), static_cast<int>(rects.size()));
    return region;
}

void KDialogSkin::ApplyRegion(QWidget* widget, const std::optional<QRegion>& region) {
    if (!widget) return;
    if (!region) {
        widget->clearMask();
    } else if (region->isEmpty()) {
        // A one-pixel mask outside the widget: nothing of it shows.
        widget->setMask(QRegion(-1, -1, 1, 1));
    } else {
        widget->setMask(*region);
    }
}

int KDialogSkin::AddBitmap(const QImage& image, uint8_t flags, qint64 transparent, int marginX, int marginY) {
    if (image.isNull()) return -1;
    m_marginX = marginX;
    m_marginY = marginY;
    State s;
    s.image = image.format() == QImage::Format_RGB32 ? image : image.convertToFormat(QImage::Format_RGB32);
    s.pixmap = QPixmap::fromImage(s.image);
    s.transparent = transparent == -1 ? (s.image.pixel(0, 0) & 0xFFFFFF) : static_cast<quint32>(transparent & 0xFFFFFF);
    s.rect = QRect(0, 0, s.image.width(), s.image.height());
    s.flags = flags;
    m_states.push_back(std::move(s));
    const int index = StateCount() - 1;
    if (flags & kBuildRegion) m_states.back().region = BuildStateRegion(m_states.back(), index);
    return index;
}

int KDialogSkin::AddBitmapResource(int resourceId, uint8_t flags, qint64 transparent, int marginX, int marginY) {
    return AddBitmap(LoadSkinBitmap(resourceId), flags, transparent, marginX, marginY);
}

std::optional<QRegion> KDialogSkin::BuildStateRegion(State& state, int index) {
    ++m_regionBuilds;
    ++state.generation;
    if (m_stretchMode == 0) return RegionFromImage(state.image, state.transparent);
    return BuildRegion(index);
}

std::optional<QRegion> KDialogSkin::BuildRegion(int index) {
    if (index < 0 || index >= StateCount() || !m_host) return std::nullopt;
    State& s = m_states[static_cast<size_t>(index)];
    if (!(s.flags & kBuildRegion)) return std::nullopt;
    const QSize client = m_host->size();
    if (client.isEmpty()) return QRegion();
    // Compose at the client size on the key colour, so that the fill lies
    // outside the region.
    QImage composed(client, QImage::Format_RGB32);
    composed.fill(QColor::fromRgb(s.transparent | 0xFF000000u));
    {
        QPainter p(&composed);
        p.setRenderHint(QPainter::SmoothPixmapTransform, false);
        p.drawImage(GetStateRect(index), s.image);
    }
    return RegionFromImage(composed, s.transparent);
}

QRect KDialogSkin::GetStateRect(int index) const {
    const QRect client = m_host ? m_host->rect() : QRect();
    if (index < 0 || index >= StateCount()) return client;
    const State& s = m_states[static_cast<size_t>(index)];
    if (m_stretchMode == kStretchVertical) {
        const int w = s.rect.width();
        int x = (client.width() - w) / 2;
        if (s.flags & kAlignNear) x = 0;
        else if (s.flags & kAlignFar) x = client.width() - w;
        return {x, 0, w, client.height()};
    }
    if (m_stretchMode == kStretchHorizontal) {
        const int h = s.rect.height();
        int y = (client.height() - h) / 2;
        if (s.flags & kAlignNear) y = 0;
        else if (s.flags & kAlignFar) y = client.height() - h;
        return {0, y, client.width(), h};
    }
    return client;
}

void KDialogSkin::CalcLayoutRect(int index, bool fixedSideOnly) {
    if (!m_host || index < 0 || index >= StateCount()) return;
    const QSize bitmap = m_states[static_cast<size_t>(index)].rect.size();
    QSize size = bitmap;
    if (fixedSideOnly) {
        size = m_host->size();
        if (m_stretchMode & kStretchHorizontal) size.setHeight(bitmap.height());
        if (m_stretchMode & kStretchVertical) size.setWidth(bitmap.width());
        if (m_stretchMode == 0) size = bitmap;
    }
    if (size != m_host->size()) m_host->resize(size);
}

void KDialogSkin::SelectState(int index, std::optional<QRegion>* outRegion) {
    if (index < 0 || index >= StateCount()) {
        m_current = -1;
        if (m_host) m_host->update();
        return;
    }
    State& s = m_states[static_cast<size_t>(index)];
    const bool applied = index == m_appliedIndex && s.generation == m_appliedGeneration;
    if (index == m_current && !outRegion && (applied || !(s.flags & kBuildRegion))) {
        if (m_host) m_host->update();
        return;
    }
    m_current = index;
    if (s.flags & kSizeFixedSide) CalcLayoutRect(index, true);
    if (s.flags & kSizeToBitmap) CalcLayoutRect(index, false);
    if (outRegion) {
        *outRegion = s.region;
    } else if (s.flags & kBuildRegion) {
        ApplyRegion(m_host, s.region);
        m_windowRegion = s.region;
        m_appliedIndex = index;
        m_appliedGeneration = s.generation;
    }
    if (m_host) m_host->update();
}

void KDialogSkin::SetAlignment(uint8_t flags, bool allStates) {
    const uint8_t bits = flags & (kAlignNear | kAlignFar);
    for (int i = 0; i < StateCount(); ++i) {
        if (!allStates && i != m_current) continue;
        State& s = m_states[static_cast<size_t>(i)];
        s.flags = static_cast<uint8_t>((s.flags & ~(kAlignNear | kAlignFar)) | bits);
        if (s.flags & kBuildRegion) s.region = BuildStateRegion(s, i);
    }
    SelectState(m_current);
}

void KDialogSkin::SetStretchMode(int mode) {
    m_stretchMode = mode & (kStretchHorizontal | kStretchVertical);
    for (int i = 0; i < StateCount(); ++i) {
        State& s = m_states[static_cast<size_t>(i)];
        if (s.flags & kBuildRegion) s.region = BuildStateRegion(s, i);
    }
    SelectState(m_current);
}

void KDialogSkin::Draw(QPainter& painter) const {
    if (m_current < 0 || m_current >= StateCount()) return;
    const State& s = m_states[static_cast<size_t>(m_current)];
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    if (m_stretchMode == 0) {
        painter.drawPixmap(0, 0, s.pixmap);
    } else {
        painter.drawPixmap(GetStateRect(m_current).adjusted(m_marginX, m_marginY, -m_marginX, -m_marginY), s.pixmap);
    }
}

void KDialogSkin::ReleaseBitmaps() {
    m_states.clear();
    m_current = -1;
    m_appliedIndex = -1;
}

QSize KDialogSkin::StateSize(int index) const {
    if (index < 0 || index >= StateCount()) return {};
    return m_states[static_cast<size_t>(index)].rect.size();
}

std::optional<QRegion> KDialogSkin::StateRegion(int index) const {
    if (index < 0 || index >= StateCount()) return std::nullopt;
    return m_states[static_cast<size_t>(index)].region;
}
