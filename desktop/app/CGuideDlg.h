#pragma once
// The QuickStart prompt shown at start while the guide setting is on, and
// the F1 help of every window.
#include <QDialog>
#include <QObject>

#include "ipc/QXServiceLib.h"
#include "platform/com/ComPtr.h"

class QCheckBox;

namespace parvane {

struct KExtrasContext;

class CGuideDlg : public QDialog {
    Q_OBJECT
public:
    CGuideDlg(ISettings* settings, const KExtrasContext& context, QWidget* parent = nullptr);

    QCheckBox* DoNotShowCheck() const { return m_doNotShow; }
    void OnYes();
    void OnNo();

private:
    void OnDoNotShowAgain();

    plat::ComPtr<ISettings> m_settings;
    const KExtrasContext& m_context;
    QCheckBox* m_doNotShow = nullptr;
};

// Runs the prompt; always lets start-up go on.
bool RunQuickStart(QWidget* parent, ISettings* settings, const KExtrasContext& context);

// Opens the manual beside the program through the URL opener, or says that it
// is missing.
void ShowHelpFile(QWidget* parent, const KExtrasContext& context);

// F1 anywhere in the program: one filter on the application sends every F1
// press, in whatever window, to ShowHelpFile.
class KHelpKeyFilter : public QObject {
public:
    explicit KHelpKeyFilter(const KExtrasContext& context, QObject* parent = nullptr)
        : QObject(parent), m_context(context) {}
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    const KExtrasContext& m_context;
};

}  // namespace parvane
