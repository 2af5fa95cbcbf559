#include "desktop/controls/KSkinMetrics.h"

#include "desktop/controls/KSkinResources.h"

KSkinMetrics::KSkinMetrics() {
    const QImage main = LoadSkinBitmap(510);
    const QImage list = LoadSkinBitmap(511);
    const QImage close = LoadSkinBitmap(259);
    m_mainSize = main.size();
    m_listSize = list.size();
    m_mainWidth = main.width();
    m_listExtra = list.height() - main.height();
    m_halfClose = close.width() / 2;
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
