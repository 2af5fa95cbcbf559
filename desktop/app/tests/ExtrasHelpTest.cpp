// The QuickStart prompt and F1 help.
#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>

#include "desktop/app/CGuideDlg.h"
#include "desktop/app/CSettingsSheet.h"
#include "desktop/app/CUpdateDlg.h"
#include "desktop/app/ExtrasText.h"
#include "desktop/app/KExtrasContext.h"
#include "desktop/app/KRegistrationDlg.h"
#include "desktop/app/tests/support/FakeService.h"
#include "desktop/app/tests/support/LoggingSettings.h"
#include "desktop/app/tests/support/LocalHttpServer.h"
#include "desktop/app/tests/support/TestSeams.h"

using namespace parvane;
using parvanetest::RecordingOpener;
using Calls = std::vector<std::string>;

class ExtrasHelpTest : public QObject {
    Q_OBJECT
private slots:
    void quickStartChoiceIsSaved();
    void quickStartYesOpensTheGuide();
    void f1OpensTheSameManualEverywhere();
    void missingManualIsSaid();
};

void ExtrasHelpTest::quickStartChoiceIsSaved() {
    plat::ComPtr<parvanetest::FakeService> service = parvanetest::FakeService::CreateInstance();
    plat::ComPtr<parvanetest::LoggingSettings> settings =
        parvanetest::LoggingSettings::CreateInstance(service->settings.Get(), &service->log);
    parvanetest::FakePrompter prompter;
    KExtrasContext context;
    context.prompter = &prompter;
    CGuideDlg dialog(settings.Get(), context);
    // Ticked, then "No": the prompt is off and saved; unticked again: on and saved.
    dialog.DoNotShowCheck()->setChecked(true);
    LONG open = 1;
    QCOMPARE(settings->GetOpenGuide(&open), S_OK);
    QCOMPARE(open, 0);
    dialog.DoNotShowCheck()->setChecked(false);
    QCOMPARE(settings->GetOpenGuide(&open), S_OK);
    QCOMPARE(open, 1);
    QCOMPARE(service->Calls(), (Calls{"SetOpenGuide(0)", "SaveSettings", "SetOpenGuide(1)", "SaveSettings"}));
    // A failing save shows the service's errors.
    std::vector<std::string> errors;
    context.showControllerErrors = [&](QWidget*, const char* call, HRESULT) { errors.push_back(call); };
    settings->Fail("SaveSettings", E_FAIL);
    dialog.DoNotShowCheck()->setChecked(true);
    QCOMPARE(errors, (std::vector<std::string>{"SaveSettings"}));
}

void ExtrasHelpTest::quickStartYesOpensTheGuide() {
    parvanetest::FakePrompter prompter;
    RecordingOpener opener;
    KExtrasContext context;
    context.prompter = &prompter;
    context.urls = &opener;
    context.site = KSite::FromBase(QStringLiteral("http://127.0.0.1:9"));
    {
        CGuideDlg dialog(nullptr, context);
        dialog.OnYes();
    }
    QCOMPARE(opener.opened, QList<QUrl>{QUrl(QStringLiteral("http://127.0.0.1:9/en/products/parvane/quickstart.htm"))});
    // With no site, nothing is opened.
    context.site = KSite::FromBase(QString());
    CGuideDlg dialog(nullptr, context);
    dialog.OnYes();
    QCOMPARE(opener.opened.size(), 1);
    QCOMPARE(prompter.Texts(), QStringList{QString::fromUtf8(text::kCannotConnect)});
}

void ExtrasHelpTest::f1OpensTheSameManualEverywhere() {
    QTemporaryDir dir;
    QFile manual(dir.filePath(QString::fromUtf8(text::kHelpFile)));
    QVERIFY(manual.open(QIODevice::WriteOnly));
    manual.write("<html></html>");
    manual.close();
    parvanetest::FakePrompter prompter;
    RecordingOpener opener;
    KExtrasContext context;
    context.prompter = &prompter;
    context.urls = &opener;
    context.helpFolder = dir.path();
    KHelpKeyFilter filter(context);
    qApp->installEventFilter(&filter);

    KSettingsModel model;
    CSettingsSheet sheet(model, context);
    CUpdateDlg update;
    KRegistrationDlg signUp(context);
    CGuideDlg guide(nullptr, context);
    QWidget plain;
    QList<QWidget*> windows{&sheet, sheet.FolderEdit(), &update, signUp.NameEdit(), &guide, &plain};
    for (QWidget* w : windows) QTest::keyClick(w, Qt::Key_F1);
    qApp->removeEventFilter(&filter);
    QCOMPARE(opener.opened.size(), windows.size());
    for (const QUrl& url : opener.opened) QCOMPARE(url, QUrl::fromLocalFile(manual.fileName()));
    // Other keys pass.
    QTest::keyClick(signUp.NameEdit(), Qt::Key_A);
    QCOMPARE(signUp.NameEdit()->text(), QStringLiteral("a"));
}

void ExtrasHelpTest::missingManualIsSaid() {
    QTemporaryDir dir;
    parvanetest::FakePrompter prompter;
    RecordingOpener opener;
    KExtrasContext context;
    context.prompter = &prompter;
    context.urls = &opener;
    context.helpFolder = dir.path();
    ShowHelpFile(nullptr, context);
    QVERIFY(opener.opened.isEmpty());
    QCOMPARE(prompter.prompts.size(), size_t(1));
    QVERIFY(prompter.prompts[0].text.contains(dir.path()));
    QCOMPARE(prompter.prompts[0].icon, Icon::Error);
}

QTEST_MAIN(ExtrasHelpTest)
#include "ExtrasHelpTest.moc"
