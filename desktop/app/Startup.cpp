#include "desktop/app/Startup.h"

#include <QDir>
#include <QEventLoop>
#include <QLocalSocket>
#include <QProgressDialog>

#include <atomic>
#include <thread>

#include "desktop/app/BackgroundCall.h"
#include "desktop/app/Strings.h"
#include "service/foundation/KTimecode.h"

namespace parvane {

QString RuntimeFolder() {
    for (const char* name : {"TONQUIL_RUNTIME_DIR", "XDG_RUNTIME_DIR"}) {
        QString value = qEnvironmentVariable(name);
        if (!value.isEmpty() && QDir(value).exists()) return value;
    }
    return QDir::tempPath();
}

SingleInstance::SingleInstance(QString folder) : m_folder(std::move(folder)) {}

SingleInstance::~SingleInstance() { Release(); }

void SingleInstance::Release() {
    if (m_server) m_server->close();
    m_server.reset();
    if (m_lock) m_lock->unlock();
    m_lock.reset();
}

bool SingleInstance::Acquire() {
    QString socket = m_folder + QStringLiteral("/ParvaneInstance.sock");
    m_lock = std::make_unique<QLockFile>(m_folder + QStringLiteral("/ParvaneInstance.lock"));
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0)) {
        m_lock.reset();
        QLocalSocket peer;
        peer.connectToServer(socket);
        if (peer.waitForConnected(1000)) {
            peer.write("show\n");
            peer.waitForBytesWritten(1000);
            peer.disconnectFromServer();
        }
        return false;
    }
    QLocalServer::removeServer(socket);
    m_server = std::make_unique<QLocalServer>();
    if (m_server->listen(socket)) {
        QObject::connect(m_server.get(), &QLocalServer::newConnection, m_server.get(), [this] {
            while (QLocalSocket* peer = m_server->nextPendingConnection()) {
                QObject::connect(peer, &QLocalSocket::readyRead, peer, [this, peer] {
                    if (peer->readAll().startsWith("show") && onShowRequest) onShowRequest();
                    peer->deleteLater();
                });
                QObject::connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            }
        });
    }
    return true;
}

HRESULT ConnectToService(AppCore& core) {
    Seams& s = core.seams();
    CancelFlag cancel;
    HRESULT result = E_FAIL;
    plat::ComPtr<IAudioController> found;
    QEventLoop loop;
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        HRESULT hr = s.link->StartServiceAndConnect(found.ReleaseAndGetAddressOf());
        for (int attempt = 0; (hr != S_OK || !found) && attempt < s.connectTries && !cancel.IsSet(); ++attempt) {
            hr = s.link->FindObjectInRot(found.ReleaseAndGetAddressOf());
            if (hr == S_OK && found) break;
            if (attempt + 1 < s.connectTries && !s.sleeper->Sleep(s.connectPauseMs, cancel)) break;
        }
        result = cancel.IsSet() ? E_ABORT : (hr == S_OK && found ? S_OK : (FAILED(hr) ? hr : E_FAIL));
        finished = true;
        QMetaObject::invokeMethod(&loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });
    QProgressDialog window(QStringLiteral("Starting Tonquil..."), QStringLiteral("Cancel"), 0, 0);
    window.setWindowTitle(QStringLiteral("Tonquil"));
    ShowAfter(window, 500);
    QObject::connect(&window, &QProgressDialog::canceled, &loop, [&] { cancel.Set(); });
    if (!finished) loop.exec();
    worker.join();
    window.reset();
    if (result == S_OK) core.controller = found;
    return result;
}

int StartUp(AppCore& core, SingleInstance& instance) {
    Seams& s = core.seams();
    KTimecode::SetRateMode(KTimecode::kHundredthsMode);
    if (s.sound && s.sound->CountPlaybackDevices() < 2) {
        s.prompter->Show(nullptr, Str(1099), Icon::Error, Buttons::Ok);
        return kExitStartFailed;
    }
    HRESULT hr = ConnectToService(core);
    if (hr == E_ABORT) return kExitStartFailed;
    if (FAILED(hr)) {
        s.prompter->Show(nullptr, Str(112), Icon::Error, Buttons::Ok);
        return kExitStartFailed;
    }
    if (!instance.Acquire()) return kExitNormal;
    plat::ComPtr<ISettings> settings;
    if (FAILED(core.controller.As(&settings))) return kExitStartFailed;
    LONG guide = 0;
    if (FAILED(settings->GetOpenGuide(&guide))) return kExitStartFailed;
    if (guide && s.hooks.quickStart && !s.hooks.quickStart(nullptr, settings.Get())) return kExitStartFailed;
    return -1;
}

}  // namespace parvane
