// The program's hooks filled by the extra windows: the sign-up form, the
// update check at start, the settings sheet, the QuickStart prompt, F1 help
// and the web radio.
#include "desktop/app/Extras.h"

#include <QApplication>
#include <QPointer>

#include "desktop/app/AppCore.h"
#include "desktop/app/BackgroundCall.h"
#include "desktop/app/CGuideDlg.h"
#include "desktop/app/CParvaneDlg.h"
#include "desktop/app/CSettingsSheet.h"
#include "desktop/app/CUpdateDlg.h"
#include "desktop/app/ExtrasText.h"
#include "desktop/app/KExtrasContext.h"
#include "desktop/app/KRegistrationDlg.h"
#include "desktop/app/Strings.h"
#ifdef PARVANE_WEB_RADIO
#include "desktop/app/CRadioDlg.h"
#endif
#include "desktop/controls/KScrollButtonSkin.h"

namespace parvane {

namespace {

// The main window a hook was called for, if it was.
CParvaneDlg* MainOf(QWidget* widget) {
    for (QWidget* w = widget; w; w = w->parentWidget())
        if (auto* main = dynamic_cast<CParvaneDlg*>(w)) return main;
    return nullptr;
}

}  // namespace

void InstallExtraHooks(Seams& seams) {
    // One context for the life of the program; the seams outlive it.
    static KExtrasContext context;
    context.prompter = seams.prompter;
    context.urls = seams.urls;
    context.files = seams.files;
    context.site = KSite::FromEnvironment();
    context.helpFolder = QCoreApplication::applicationDirPath();
    // F1 in any window of the program opens the manual.
    if (qApp) qApp->installEventFilter(new KHelpKeyFilter(context, qApp));
    context.showControllerErrors = [](QWidget* parent, const char* call, HRESULT hr) {
        if (CParvaneDlg* main = MainOf(parent)) main->Core().ShowControllerErrors(parent, call, hr);
    };
    // A missing controller ends the main window after its message.
    context.showInternalError = [](QWidget* parent) {
        if (CParvaneDlg* main = MainOf(parent)) main->EndOnInternalError();
    };
    context.runLongCall = [](QWidget* parent, const std::function<HRESULT()>& call) {
        return CallInBackground(parent, QString::fromUtf8(kApplyingSettings), call);
    };

    seams.hooks.signUp = [](QWidget* parent) { return RunSignUp(parent, context); };
    seams.hooks.updateAtStart = [](QWidget* parent, ISettings* settings) {
        return CheckForUpdateAtStart(parent, settings, context);
    };
    seams.hooks.quickStart = [](QWidget* parent, ISettings* settings) {
        return RunQuickStart(parent, settings, context);
    };
    seams.hooks.help = [](QWidget* parent) { ShowHelpFile(parent, context); };
    seams.hooks.radio = [](QWidget* parent, bool show) {
#ifdef PARVANE_WEB_RADIO
        static QPointer<CRadioDlg> radio;
        CParvaneDlg* main = MainOf(parent);
        plat::ComPtr<ISettings> settings;
        if (main && main->Core().controller) main->Core().controller.As(&settings);
        if (!show) {
            if (!radio) return;
            // The place is kept for the next start.
            if (settings && !main->Core().forced) {
                const HRESULT hr = radio->StoreRect(settings.Get());
                if (FAILED(hr)) main->Core().ShowControllerErrors(main, "SetRadioRect", hr);
            }
            radio->hide();
            return;
        }
        if (!radio) {
            radio = new CRadioDlg(context, std::make_unique<KMediaRadioPlayer>(), main ? main : parent);
            // Its Close button resets the main window's Radio toggle, which hides it.
            radio->onCloseRequest = [main] {
                if (main) main->Command(1011);
                else if (radio) radio->hide();
            };
            radio->onExitRequest = [main] {
                if (main) main->Shutdown();
            };
            radio->onStuck = [main](bool stuck) {
                if (main) main->SetRadioStuck(stuck);
            };
            LONG stuck = 0;
            if (settings && SUCCEEDED(settings->GetStickRadio(&stuck))) {
                const HRESULT hr = radio->RestoreRect(settings.Get(), main->geometry(), stuck != 0);
                if (FAILED(hr)) main->Core().ShowControllerErrors(main, "GetRadioRect", hr);
            }
        }
        radio->show();
        radio->raise();
#else
        if (show) context.prompter->Show(parent, QString::fromUtf8(text::kRadioMissing), Icon::Information, Buttons::Ok);
#endif
    };
    seams.hooks.settings = [](QWidget* parent) {
        CParvaneDlg* main = MainOf(parent);
        if (!main || !main->Core().controller) {
            if (main) main->EndOnInternalError();
            return;
        }
        RunSettingsSheet(parent, main->Core().controller.Get(), context, [main](ULONG cacheSizeMs) {
            // Only once every value is stored does the slider follow the new size.
            if (main->Slider()) main->Slider()->SetRange(qint64(cacheSizeMs));
            main->RefreshSourceToggles();
        });
    };
}

}  // namespace parvane
