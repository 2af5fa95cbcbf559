#include "desktop/app/DefaultSeams.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>

#include <chrono>

#include "ipc/client/ClientConnection.h"
#include "ipc/client/RunningObjects.h"
#include "ipc/common/BusName.h"
#include "platform/sound/SoundSystem.h"

namespace parvane {

Answer QtPrompter::Show(QWidget* parent, const QString& text, Icon icon, Buttons buttons) {
    QMessageBox box(parent);
    box.setWindowTitle(QStringLiteral("Tonquil"));
    box.setText(text);
    switch (icon) {
    case Icon::Error: box.setIcon(QMessageBox::Critical); break;
    case Icon::Information: box.setIcon(QMessageBox::Information); break;
    case Icon::Question: box.setIcon(QMessageBox::Question); break;
    case Icon::Warning: box.setIcon(QMessageBox::Warning); break;
    case Icon::None: break;
    }
    if (buttons == Buttons::YesNoCancel) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box.setEscapeButton(QMessageBox::Cancel);
        const int chosen = box.exec();
        return chosen == QMessageBox::Yes ? Answer::Yes : chosen == QMessageBox::No ? Answer::No : Answer::Cancel;
    }
    if (buttons == Buttons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes ? Answer::Yes : Answer::No;
    }
    box.exec();
    return Answer::Ok;
}

QString QtFileDialogs::SaveFile(QWidget* parent, const QString& defaultSuffix, const QString& filter,
                                const QString& start) {
    QFileDialog dialog(parent, QString(), start, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
    return dialog.selectedFiles().first();
}

QString QtFileDialogs::Folder(QWidget* parent, const QString& title, const QString& start) {
    return QFileDialog::getExistingDirectory(parent, title, start);
}

void DesktopUrlOpener::Open(const QUrl& url) { QDesktopServices::openUrl(url); }

namespace {

struct Names {
    std::vector<std::pair<bool, std::u16string>> entries;  // (has an identity, description)
};

BOOL CollectDevice(const GUID* guid, const OLECHAR* description, const OLECHAR*, void* context) {
    auto* names = static_cast<Names*>(context);
    names->entries.emplace_back(guid != nullptr, description ? std::u16string(description) : std::u16string());
    return TRUE;
}

}  // namespace

int PlatformSoundDevices::CountPlaybackDevices() {
    auto system = plat::GetSoundSystem();
    if (!system) return 0;
    Names names;
    if (FAILED(system->EnumeratePlayback(&CollectDevice, &names))) return 0;
    int count = 0;
    for (const auto& entry : names.entries)
        if (entry.first) ++count;
    return count;
}

bool PlatformSoundDevices::MakeDefaultPlayback(const QString& namePart) {
    // The sound server's own tool sets its default output; every match in turn,
    // so the last one wins.
    QProcess list;
    list.start(QStringLiteral("pactl"), {QStringLiteral("list"), QStringLiteral("sinks")});
    if (!list.waitForFinished(5000)) return false;
    QString sink;
    QStringList matches;
    for (const QString& line : QString::fromUtf8(list.readAllStandardOutput()).split(QLatin1Char('\n'))) {
        QString t = line.trimmed();
        if (t.startsWith(QStringLiteral("Name:"))) sink = t.mid(5).trimmed();
        if (t.startsWith(QStringLiteral("Description:")) && t.contains(namePart)) matches << sink;
    }
    bool any = false;
    for (const QString& name : matches)
        any |= QProcess::execute(QStringLiteral("pactl"), {QStringLiteral("set-default-sink"), name}) == 0;
    return any;
}

HRESULT BusServiceLink::StartServiceAndConnect(IAudioController** controller) {
    // A service that already runs is not started again: the lookups that
    // follow find it at once.
    pid_t owner = 0;
    if (ipc::ServiceProcessId(&owner) == S_OK) return E_FAIL;
    HRESULT hr = ipc::StartServiceAndConnect(u"QXService", IID_IAudioController, reinterpret_cast<void**>(controller));
    return hr == S_OK ? S_OK : (FAILED(hr) ? hr : E_FAIL);
}

HRESULT BusServiceLink::FindObjectInRot(IAudioController** controller) {
    HRESULT hr = ipc::FindObjectInRot(IID_IAudioController, reinterpret_cast<void**>(controller));
    return hr == S_OK ? S_OK : (FAILED(hr) ? hr : E_FAIL);
}

HRESULT BusServiceLink::ServiceOwner(std::string* owner) {
    // The bus itself answers who owns the service's name, however busy the
    // service is.
    std::shared_ptr<ipc::ClientConnection> bus;
    HRESULT hr = ipc::ClientConnection::Shared(&bus);
    if (FAILED(hr)) return hr;
    return ipc::BusName::LookUp(bus->Bus(), ipc::kServiceName, owner);
}

}  // namespace parvane
