#pragma once
// Sizes of the skin bitmaps that windows are laid out by, and the main
// window once it exists. One per process.
#include "platform/core/HResult.h"

#include <QPointer>
#include <QRect>
#include <QSize>
#include <QWidget>

class KSkinMetrics {
public:
    KSkinMetrics();
    QSize m_mainSize;     // bitmap 510, the main window's shape
    QSize m_listSize;     // bitmap 511
    int m_mainWidth = 0;  // the width of 510 again
    int m_listExtra = 0;  // height of 511 less height of 510
    int m_halfClose = 0;  // half the width of bitmap 259

    HRESULT GetMainWindow(QWidget** out) const;
    HRESULT GetMainWindowRect(QRect* out) const;
    void SetMainWindow(QWidget* window) { m_main = window; }

private:
    QPointer<QWidget> m_main;
};

KSkinMetrics& GetSkinBitmaps();
