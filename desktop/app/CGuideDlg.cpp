#include "desktop/app/CGuideDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "desktop/app/ExtrasText.h"
#include "desktop/app/KExtrasContext.h"

namespace parvane {

CGuideDlg::CGuideDlg(ISettings* settings, const KExtrasContext& context, QWidget* parent)
    : QDialog(parent), m_settings(settings), m_context(context) {
    setWindowTitle(QStringLiteral("Tonquil"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QString::fromUtf8(text::kGuideQuestion), this));
    m_doNotShow = new QCheckBox(QString::fromUtf8(text::kDoNotShowAgain), this);
    layout->addWidget(m_doNotShow);
    auto* row = new QHBoxLayout;
    auto* yes = new QPushButton(QStringLiteral("Yes"), this);
    auto* no = new QPushButton(QStringLiteral("No"), this);
    row->addWidget(yes);
    row->addWidget(no);
    layout->addLayout(row);
    connect(yes, &QPushButton::clicked, this, &CGuideDlg::OnYes);
    connect(no, &QPushButton::clicked, this, &CGuideDlg::OnNo);
    connect(m_doNotShow, &QCheckBox::toggled, this, &CGuideDlg::OnDoNotShowAgain);
}

void CGuideDlg::OnYes() {
    if (m_context.site.IsSet()) m_context.urls->Open(m_context.site.QuickStartUrl());
    else m_context.prompter->Show(this, QString::fromUtf8(text::kCannotConnect), Icon::Error, Buttons::Ok);
    close();
}

void CGuideDlg::OnNo() { close(); }

void CGuideDlg::OnDoNotShowAgain() {
    if (!m_settings) return;
    // Saved at once, so that the choice lasts whatever happens next.
    HRESULT hr = m_settings->SetOpenGuide(m_doNotShow->isChecked() ? 0 : 1);
    const char* call = "SetOpenGuide";
    if (hr == S_OK) {
        hr = m_settings->SaveSettings();
        call = "SaveSettings";
    }
    if (hr != S_OK) m_context.ControllerErrors(this, call, FAILED(hr) ? hr : E_FAIL);
}

bool RunQuickStart(QWidget* parent, ISettings* settings, const KExtrasContext& context) {
    CGuideDlg dialog(settings, context, parent);
    context.Run(&dialog);
    return true;
}

void ShowHelpFile(QWidget* parent, const KExtrasContext& context) {
    const QString path = context.helpFolder + QLatin1Char('/') + QString::fromUtf8(text::kHelpFile);
    if (!QFileInfo(path).isFile()) {
        context.prompter->Show(parent, QString::fromUtf8(text::kHelpMissing).arg(path), Icon::Error, Buttons::Ok);
        return;
    }
    context.urls->Open(QUrl::fromLocalFile(path));
}

bool KHelpKeyFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || static_cast<QKeyEvent*>(event)->key() != Qt::Key_F1 ||
        !watched->isWidgetType())
        return false;
    auto* widget = static_cast<QWidget*>(watched);
    ShowHelpFile(widget->window(), m_context);
    return true;
}

}  // namespace parvane
