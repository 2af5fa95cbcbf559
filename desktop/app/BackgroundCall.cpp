#include "desktop/app/BackgroundCall.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>
#include <QProgressDialog>

#include <atomic>
#include <memory>
#include <thread>

#include "desktop/app/Stragglers.h"

namespace parvane {

void ShowAfter(QProgressDialog& window, int milliseconds) {
    window.setMinimumDuration(milliseconds);
    // The dialog's own timer counts from its first value; without one it
    // shows only after its default of four seconds.
    window.setValue(0);
}

HRESULT CallInBackground(QWidget* parent, const QString& text, std::function<HRESULT()> call) {
    struct Shared {
        std::atomic<HRESULT> result{E_FAIL};
        std::shared_ptr<CancelFlag> done = std::make_shared<CancelFlag>();
        QPointer<QEventLoop> loop;
    };
    auto shared = std::make_shared<Shared>();
    QEventLoop loop;
    shared->loop = &loop;
    std::thread worker([shared, call = std::move(call)] {
        shared->result = call();
        shared->done->Set();
        // The loop may be gone (given up); a queued quit to a dead object is dropped.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [shared] { if (shared->loop) shared->loop->quit(); }, Qt::QueuedConnection);
    });
    QProgressDialog window(text, QStringLiteral("Cancel"), 0, 0, parent);
    window.setWindowTitle(QStringLiteral("Tonquil"));
    window.setWindowModality(Qt::WindowModal);
    ShowAfter(window, 500);
    QObject::connect(&window, &QProgressDialog::canceled, &loop, &QEventLoop::quit);
    // Ended by the call, by the user or by the end of the program's loops.
    if (!shared->done->IsSet()) loop.exec();
    window.reset();
    shared->loop = nullptr;
    if (shared->done->IsSet()) {
        worker.join();
        return shared->result.load();
    }
    stragglers::Keep(std::move(worker), shared->done);
    return RPC_E_CALL_FAILED;
}

}  // namespace parvane
