#include "desktop/app/KCacheLoadingProgress.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>

namespace parvane {

KCacheLoadingProgress::KCacheLoadingProgress(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Tonquil"));
    setWindowFlag(Qt::WindowCloseButtonHint, false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(
        QStringLiteral("Loading Cache, it may take several minutes for a big cache. Please wait..."), this));
    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QStringLiteral("1072"));
    m_bar->setRange(0, 4);
    m_bar->setValue(0);
    m_bar->setTextVisible(false);
    layout->addWidget(m_bar);
    m_timer = new QTimer(this);
    connect(m_timer, &QTimer::timeout, this, &KCacheLoadingProgress::Step);
    m_timer->start(300);
}

void KCacheLoadingProgress::Step() {
    int p = m_bar->value();
    if (m_forward) {
        if (p >= 3)
            m_forward = false;
        else
            m_bar->setValue(p + 1);
    } else {
        if (p < 2)
            m_forward = true;
        else
            m_bar->setValue(p - 1);
    }
}

int KCacheLoadingProgress::Position() const { return m_bar->value(); }

void KCacheLoadingProgress::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void KCacheLoadingProgress::closeEvent(QCloseEvent* event) {
    if (result() == 0 && isVisible() && !property("ending").toBool()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

}  // namespace parvane
