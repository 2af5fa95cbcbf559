#include "desktop/controls/KSkinMetrics.h"

#include "desktop/controls/KSkinResources.h"

KSkinMetrics::KSkinMetrics() {
    const QImage main = LoadSkinBitmap(510);
    const QImage list = LoadSkinBitmap(511);
    const QImage close = LoadSkinBitmap(259);
    m_sizeMain = main.size();
    m_sizeList = list.size();
    m_nMainWidth = main.width();
    m_nListExtra = list.height() - main.height();
    m_nHalfClose = close.width() / 2;
}

HRESULT KSkinMetrics::GetMainWindow(QWidget** out) const {
    if (!out) return E_POINTER;
    if (!m_main) return E_FAIL;
    *out = m_main;
    return S_OK;
}

HRESULT KSkinMetrics::GetMainWindowRect(QRect* out) const {
    if (!out) return E_POINTER;
    if (!m_main) return E_FAIL;
    *out = m_main->frameGeometry();
    return S_OK;
}

KSkinMetrics& GetSkinBitmaps() {
    static KSkinMetrics metrics;
    return metrics;
}
