// An engine that answers on the service's bus name but whose settings (and so
// its cache folder) cannot be read: a client asking for ISettings gets
// E_NOINTERFACE. Serves until SIGTERM.
#include "ipc/common/Names.h"
#include "ipc/service/ServiceExporter.h"
#include "ipc/tests/support/FakeController.h"
#include "ipc/tests/support/FakeDeviceList.h"
#include "platform/service/ServiceManager.h"
#include "service/foundation/KPlayList.h"

int main() {
    plat::svc::StopRequests stop;
    plat::ComPtr<IPlayList> playlist(KPlayList::Create());
    plat::ComPtr<ipctest::FakeDeviceList> playback(
        ipctest::FakeDeviceList::CreateInstance(std::vector<std::u16string>{u"Speakers"}, 0));
    plat::ComPtr<ipctest::FakeDeviceList> capture(
        ipctest::FakeDeviceList::CreateInstance(std::vector<std::u16string>{u"Microphone"}, 0));
    plat::ComPtr<ipctest::FakeController> controller(
        ipctest::FakeController::CreateInstance(nullptr, playlist.Get(), playback.Get(), capture.Get()));
    std::unique_ptr<ipc::ServiceExporter> exporter;
    if (!playlist || !controller || FAILED(ipc::ServiceExporter::Create(&exporter)) ||
        FAILED(exporter->ExportController(controller.Get())) || FAILED(exporter->PublishName(ipc::kServiceName)))
        return 1;
    while (plat::WaitAny({&stop}, INFINITE) == plat::WAIT_OBJECT_0 && stop.LastKind() != plat::svc::StopRequests::Kind::Stop) {
    }
    exporter->Shutdown();
    return 0;
}
