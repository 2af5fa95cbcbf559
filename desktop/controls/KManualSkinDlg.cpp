#include "desktop/controls/KManualSkinDlg.h"

#include "desktop/controls/KSkinMetrics.h"
#include "desktop/controls/KSkinResources.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

KManualSkinDlg::KManualSkinDlg(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setMouseTracking(true);
}

KManualSkinDlg::~KManualSkinDlg() = default;

void KManualSkinDlg::SetSkinPartIds() {
    static constexpr int kIds[kPartCount] = {500, 501, 502, 503, 504, 506, 505, 507, 509, 508};
    for (int i = 0; i < kPartCount; ++i) SetPartId(i, kIds[i]);
}

void KManualSkinDlg::OnInitDialog() {
    if (m_initialised) return;
    m_initialised = true;
    m_container = std::make_unique<KWndContainer>(this);
    SetSkinPartIds();
    for (SSkinPart& part : m_parts) {
        if (part.id == -1) continue;
        const QImage image = LoadSkinBitmap(part.id);
        if (image.isNull()) continue;
        part.pixmap = QPixmap::fromImage(image);
        part.width = image.width();
        part.height = image.height();
    }
}

QSize KManualSkinDlg::MinimumSkinSize() const {
    int w = 0, h = 0;
    for (int i = 0; i < 4; ++i) {
        w += m_parts[static_cast<size_t>(i)].width;
        h += m_parts[static_cast<size_t>(i)].height;
    }
    return {w, h};
}

QRect KManualSkinDlg::InsideFrame(const QSize& size) const {
    const int left = m_parts[6].width, top = m_parts[4].height;
    return {left, top, size.width() - left - m_parts[5].width - 1, size.height() - top - m_parts[7].height - 1};
}

bool KManualSkinDlg::IsBelowMinWidth(int width) const { return MinimumSkinSize().width() > width; }
bool KManualSkinDlg::IsBelowMinHeight(int height) const { return MinimumSkinSize().height() > height; }
bool KManualSkinDlg::IsBelowMinSize(const QSize& s) const { return IsBelowMinWidth(s.width()) || IsBelowMinHeight(s.height()); }

bool KManualSkinDlg::CheckWindowRect(QRect& rect) const {
    QScreen* s = screen();
    const QSize area = s ? s->geometry().size() : QSize();
    if (!rect.isEmpty() && rect.x() >= 0 && rect.y() >= 0 && rect.x() + rect.width() <= area.width() &&
        rect.y() + rect.height() <= area.height())
        return true;
    rect = QRect(QPoint(0, 0), MinimumSkinSize());
    return false;
}

void KManualSkinDlg::PaintSkin(QPainter& p, const QSize& size) {
    const int W = size.width(), H = size.height();
    p.fillRect(QRect(QPoint(0, 0), size), Qt::white);
    auto stretch = [&](int part, const QRect& r) {
        const SSkinPart& sp = m_parts[static_cast<size_t>(part)];
        if (sp.loaded()) p.drawPixmap(r, sp.pixmap);
    };
    auto put = [&](int part, int x, int y) {
        const SSkinPart& sp = m_parts[static_cast<size_t>(part)];
        if (sp.loaded()) p.drawPixmap(x, y, sp.pixmap);
    };
    const SSkinPart& top = m_parts[4];
    const SSkinPart& right = m_parts[5];
    const SSkinPart& left = m_parts[6];
    const SSkinPart& bottom = m_parts[7];
    stretch(4, QRect(0, 0, W, top.height));
    stretch(7, QRect(0, H - bottom.height, W, bottom.height));
    stretch(6, QRect(0, 0, left.width, H));
    stretch(5, QRect(W - right.width, 0, right.width, H));
    put(0, 0, 0);
    put(1, W - m_parts[1].width, 0);
    put(3, W - m_parts[3].width, H - m_parts[3].height);
    put(2, 0, H - m_parts[2].height);
    if (m_resizable) {
        put(9, W - m_parts[9].width, H - m_parts[9].height);
        put(8, 0, H - m_parts[8].height);
    }
    if (m_extra.loaded() && !m_extraRect.isEmpty())
        p.drawPixmap(m_extraRect.topLeft(), m_extra.pixmap,
                     QRect(QPoint(0, 0), m_extraRect.size()).intersected(m_extra.pixmap.rect()));
}

bool KManualSkinDlg::InitFromTemplate(const SDialogTemplate& dialog, int closeId, int extraBitmapId, int extraMarkId) {
    OnInitDialog();
    for (int id : {closeId, extraMarkId}) {
        if (FindDlgItem(this, id)) continue;
        auto* placeholder = new QWidget(this);
        placeholder->setProperty(kControlIdProperty, id);
    }
    KDialogFont::RegisterTemplate(dialog);
    const bool applied = m_dialogFont.Apply(this, dialog.id);
    LayoutSkinControls(closeId);
    m_close.SetText(QStringLiteral("Close"));
    return LoadExtraSkinPart(extraBitmapId, extraMarkId) && applied;
}

bool KManualSkinDlg::LoadExtraSkinPart(int bitmapId, int placeholderId) {
    m_extra = SSkinPart();
    m_extraRect = QRect();
    QWidget* item = FindDlgItem(this, placeholderId);
    const QImage image = LoadSkinBitmap(bitmapId);
    if (!item || image.isNull()) return false;
    m_extraRect = item->geometry();
    item->hide();
    m_extra.pixmap = QPixmap::fromImage(image);
    m_extra.id = bitmapId;
    m_extra.width = image.width();
    m_extra.height = image.height();
    update(m_extraRect);
    return true;
}

QImage KManualSkinDlg::Compose(const QSize& size) {
    OnInitDialog();
    QImage composition(size, QImage::Format_RGB32);
    composition.fill(QColor(0, 0, 255));
    QPainter p(&composition);
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    PaintSkin(p, size);
    return composition;
}

void KManualSkinDlg::UpdateShape() {
    // Built when the size changes and at the first show (the size then may
    // be the one the dialog was made with).
    if (size() == m_regionSize || size().isEmpty()) return;
    m_regionSize = size();
    ++m_regionBuilds;
    KDialogSkin::ApplyRegion(this, KDialogSkin::RegionFromImage(Compose(size()), kSkinKeyColour));
}

void KManualSkinDlg::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    PaintSkin(p, size());
}

void KManualSkinDlg::resizeEvent(QResizeEvent* e) {
    QDialog::resizeEvent(e);
    if (m_container) m_container->Update(width(), height());
    if (isVisible()) {
        UpdateShape();
        InvalidateSkinControls();
        OnShowHook();
    }
}

void KManualSkinDlg::showEvent(QShowEvent* e) {
    OnInitDialog();
    QDialog::showEvent(e);
    UpdateShape();
    OnShowHook();
}

void KManualSkinDlg::changeEvent(QEvent* e) {
    if (e->type() == QEvent::EnabledChange) {
        QWidget* main = nullptr;
        if (SUCCEEDED(GetSkinBitmaps().GetMainWindow(&main)) && main != this && main->isEnabled() != isEnabled())
            main->setEnabled(isEnabled());
    } else if (e->type() == QEvent::ActivationChange && !isActiveWindow()) {
        m_moving = false;
        if (m_zone != kZoneNone) EndSizing();
    }
    QDialog::changeEvent(e);
}

void KManualSkinDlg::keyPressEvent(QKeyEvent* e) {
    switch (e->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape: e->accept(); return;  // these dialogs close only by their own buttons
        default: QDialog::keyPressEvent(e);
    }
}

void KManualSkinDlg::LayoutSkinControls(int closeId) {
    OnInitDialog();
    QWidget* item = FindDlgItem(this, closeId);
    if (!item) return;
    const int half = GetSkinBitmaps().m_halfClose;
    item->setGeometry(width() - item->width() - half, item->y(), item->width() - 1, item->height() - 1);
    static constexpr int kCloseIds[] = {259, 260, 261, 259};
    if (!InitSkinButton(this, m_close, closeId, kCloseIds, 4)) return;
    m_container->Layout(&m_close, KWndContainer::kRightFromRight | KWndContainer::kTopFromTop);
}

int KManualSkinDlg::HitTestFrame(const QPoint& pt, bool setCursor) {
    int zone = kZoneNone;
    if (m_resizable) {
        const int w = width(), h = height(), x = pt.x(), y = pt.y();
        const bool across = y >= 0 && y < h;
        if (x >= w - kEdgeBand && x < w && across) zone = kZoneRight;
        else if (y < h - kEdgeBand) zone = (x >= 0 && x < kEdgeBand && across) ? kZoneLeft : kZoneNone;
        else if (x >= 0 && x < w && y < h) zone = kZoneBottom;  // only the bottom band
        // The two grips: triangles on the bottom corners.
        const SSkinPart& gripRight = m_parts[9];
        const SSkinPart& gripLeft = m_parts[8];
        const double rx = gripRight.width + kEdgeBand, ry = gripRight.height + kEdgeBand;
        const double lx = gripLeft.width + kEdgeBand, ly = gripLeft.height + kEdgeBand;
        if (x < w && y < h && x >= 0 && y >= 0) {
            if ((w - x) / rx + (h - y) / ry <= 1.0) zone = kZoneBottomRight;
            if ((x + 1) / lx + (h - y) / ly <= 1.0) zone = kZoneBottomLeft;
        }
    }
    if (setCursor) SetZoneCursor(zone);
    return zone;
}

void KManualSkinDlg::SetZoneCursor(int zone) {
    switch (zone) {
        case kZoneBottomRight: setCursor(Qt::SizeFDiagCursor); break;
        case kZoneBottomLeft: setCursor(Qt::SizeBDiagCursor); break;
        case kZoneLeft:
        case kZoneRight: setCursor(Qt::SizeHorCursor); break;
        case kZoneBottom: setCursor(Qt::SizeVerCursor); break;
        default: setCursor(Qt::ArrowCursor); break;
    }
}

void KManualSkinDlg::EndSizing() {
    m_zone = kZoneNone;
    HitTestFrame(QPoint(0, 0), true);
}

void KManualSkinDlg::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return QDialog::mousePressEvent(e);
    const QPoint pt = e->position().toPoint();
    if (m_movable && pt.y() < m_parts[4].height) {
        m_moving = true;
        m_lastPoint = pt;
        return;
    }
    if (m_resizable) {
        const int zone = HitTestFrame(pt, true);
        if (zone != kZoneNone) {
            m_zone = zone;
            m_lastPoint = pt;
        }
    }
}

void KManualSkinDlg::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return QDialog::mouseReleaseEvent(e);
    m_moving = false;
    if (m_zone != kZoneNone) EndSizing();
}

void KManualSkinDlg::mouseMoveEvent(QMouseEvent* e) {
    const QPoint pt = e->position().toPoint();
    if (m_moving && pt != m_lastPoint) DragMove(pt);
    if (!m_resizable) return;
    if (m_zone == kZoneNone) {
        HitTestFrame(pt, true);
        return;
    }
    if (pt == m_lastPoint) return;
    int zone = HitTestFrame(pt, false);
    if (zone == kZoneNone) {
        // Off every zone, sizing goes on only outward past the edge being
        // dragged; the stored point then starts from that edge.
        bool outward = false;
        if ((m_zone == kZoneBottomLeft || m_zone == kZoneLeft) && pt.x() < 0) {
            outward = true;
            m_lastPoint.setX(0);
        }
        if ((m_zone == kZoneBottomRight || m_zone == kZoneRight) && pt.x() >= width()) {
            outward = true;
            m_lastPoint.setX(width());
        }
        if ((m_zone == kZoneBottomLeft || m_zone == kZoneBottomRight || m_zone == kZoneBottom) && pt.y() >= height()) {
            outward = true;
            m_lastPoint.setY(height());
        }
        if (!outward) return;
        zone = m_zone;
    } else if (m_zone == kZoneLeft || m_zone == kZoneRight || m_zone == kZoneBottom) {
        zone = m_zone;
    }
    switch (zone) {
        case kZoneLeft:
            if (m_zone != kZoneBottomRight) DragSizeEdge(QPoint(pt.x(), m_lastPoint.y()));
            break;
        case kZoneBottomLeft: DragSizeEdge(pt); break;
        case kZoneRight:
            if (m_zone != kZoneBottomLeft) DragSize(QPoint(pt.x(), m_lastPoint.y()));
            break;
        case kZoneBottomRight: DragSize(pt); break;
        case kZoneBottom: DragSize(QPoint(m_lastPoint.x(), pt.y())); break;
        default: m_lastPoint = pt; break;
    }
    repaint();
}

void KManualSkinDlg::DragSize(const QPoint& pt) {
    QRect g = geometry();
    g.setRight(g.right() + pt.x() - m_lastPoint.x());
    g.setBottom(g.bottom() + pt.y() - m_lastPoint.y());
    if (!IsBelowMinSize(g.size())) resize(g.size());
    m_lastPoint = pt;
}

void KManualSkinDlg::DragSizeEdge(const QPoint& pt) {
    const int dx = pt.x() - m_lastPoint.x();
    QRect g = geometry();
    g.setLeft(g.left() + dx);
    g.setBottom(g.bottom() + pt.y() - m_lastPoint.y());
    if (IsBelowMinSize(g.size())) return;
    setGeometry(g);
    // The window moved by dx: the pointer's point in it moved back by as much.
    m_lastPoint = QPoint(pt.x() - dx, pt.y());
}

void KManualSkinDlg::DragMove(const QPoint& pt) {
    if (!m_movable) return;
    move(pos() + (pt - m_lastPoint));
    repaint();
}
