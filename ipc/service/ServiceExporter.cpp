#include "ipc/service/ServiceExporter.h"

#include <new>
#include <system_error>

#include <sdbus-c++/sdbus-c++.h>

#include "ipc/common/BusError.h"
#include "ipc/common/BusName.h"
#include "ipc/service/Adaptor.h"
#include "log/Trace.h"

namespace ipc {

namespace {

// Every unique name that leaves the bus: a client that leaves gives back all
// of its references.
constexpr const char* kNameOwnerChangedRule =
    "type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',"
    "interface='org.freedesktop.DBus',member='NameOwnerChanged'";

struct SubObject {
    const IID* iid;
    ObjectKind kind;
    const char* path;
};

constexpr SubObject kSubObjects[] = {
    {&IID_ISettings, ObjectKind::Settings, kSettingsPath},
    {&IID_IPlayList, ObjectKind::PlayList, kPlayListPath},
    {&IID_IAudioManager, ObjectKind::AudioManager, kAudioManagerPath},
    {&IID_ICaptureManager, ObjectKind::CaptureManager, kCaptureManagerPath},
};

}  // namespace

HRESULT ServiceExporter::Create(std::unique_ptr<ServiceExporter>* out, const std::string& address) {
    return Create(out, CallPool::Limits{}, address);
}

HRESULT ServiceExporter::Create(std::unique_ptr<ServiceExporter>* out, const CallPool::Limits& limits,
                                const std::string& address) {
    TQ_CHECK_POINTER(out);
    out->reset();
    std::unique_ptr<ServiceExporter> exporter(new (std::nothrow) ServiceExporter());
    if (!exporter) return E_OUTOFMEMORY;
    HRESULT hr = exporter->Start(limits, address);
    if (FAILED(hr)) return hr;
    *out = std::move(exporter);
    return S_OK;
}

HRESULT ServiceExporter::Start(const CallPool::Limits& limits, const std::string& address) {
    try {
        m_connection = address.empty() ? sdbus::createSessionBusConnection()
                                       : sdbus::createSessionBusConnectionWithAddress(address);
        m_turn = std::make_unique<BusTurn>(*m_connection);
        m_pool = std::make_unique<CallPool>(limits);
        m_table = std::make_unique<ObjectTable>(*m_connection, *m_pool);
        m_nameWatch = m_connection->addMatch(kNameOwnerChangedRule,
                                             [this](sdbus::Message& message) { OnNameOwnerChanged(message); });
        if (!m_pool->ServeBus(*m_turn)) {
            TQ_TRACE_BOOL("m_pool->ServeBus()");
            return E_OUTOFMEMORY;
        }
    } catch (const std::system_error&) {
        TQ_TRACE_BOOL("BusTurn()");
        return E_OUTOFMEMORY;
    } catch (const sdbus::Error& e) {
        HRESULT hr = BusError::ToHResult(e);
        TQ_TRACE_HR("sdbus::createSessionBusConnection()");
        TQ_REPORT(EC_INTERNAL, hr, plat::ToUtf16("Connecting to the session bus was failed: " + e.getMessage()));
        return hr;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

ServiceExporter::~ServiceExporter() { Shutdown(); }

void ServiceExporter::OnNameOwnerChanged(sdbus::Message& message) {
    // While serving the bus: read the signal, leave the work to the pool.
    std::string name, oldOwner, newOwner;
    try {
        message >> name >> oldOwner >> newOwner;
    } catch (const sdbus::Error&) {
        return;
    }
    if (!newOwner.empty() || name.empty() || name[0] != ':') return;
    ObjectTable* table = m_table.get();
    auto work = [table, name](CallFate fate) {
        if (fate == CallFate::Run) table->DropClient(name);
    };
    std::unique_ptr<CallPool::Job> job = std::make_unique<FunctionJob<decltype(work)>>(std::move(work));
    m_pool->Submit(job, true);  // refused only while stopping, when everything is dropped anyway
}

HRESULT ServiceExporter::ExportController(IAudioController* controller) {
    TQ_CHECK_POINTER(controller);
    HRESULT hr;
    if (TQ_FAILED(hr, m_table->ExportPermanent(ObjectKind::Controller, controller, kControllerPath))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Exporting the audio controller was failed");
        return hr;
    }
    for (const SubObject& sub : kSubObjects) {
        plat::ComPtr<IUnknown> part;
        if (FAILED(controller->QueryInterface(*sub.iid, reinterpret_cast<void**>(part.GetAddressOf()))) || !part) {
            // A controller without this part: clients asking for it get E_NOINTERFACE.
            TQ_TRACE_HR("controller->QueryInterface(part)");
            continue;
        }
        if (TQ_FAILED(hr, m_table->ExportPermanent(sub.kind, part.Get(), sub.path))) {
            TQ_REPORT(EC_INTERNAL, hr, u"Exporting a part of the audio controller was failed");
            return hr;
        }
    }
    return S_OK;
}

HRESULT ServiceExporter::PublishName(const std::string& name) {
    HRESULT hr;
    BusTurn::Hold hold(*m_turn);
    if (TQ_FAILED(hr, BusName::Request(*m_connection, name))) {
        TQ_REPORT(EC_INTERNAL, hr, plat::ToUtf16("Taking the bus name " + name + " was failed"));
        return hr;
    }
    m_publishedName = name;
    return S_OK;
}

void ServiceExporter::RevokeName() {
    if (m_publishedName.empty() || !m_connection) return;
    HRESULT hr;
    BusTurn::Hold hold(*m_turn);
    if (TQ_FAILED(hr, BusName::Release(*m_connection, m_publishedName)))
        TQ_REPORT(EC_INTERNAL, hr, u"Releasing the bus name was failed");
    m_publishedName.clear();
}

void ServiceExporter::Shutdown() {
    if (m_shutDown || !m_connection) return;
    m_shutDown = true;
    RevokeName();
    // Start may have failed half-way: only what exists is stopped.
    if (m_table) m_table->StopAllSaves();
    if (m_pool) m_pool->Stop();
    if (m_table) m_table->Clear();
    m_nameWatch.reset();
    if (m_pool) m_pool->StopServing();
    m_connection.reset();
}

std::string ServiceExporter::UniqueName() const {
    if (!m_connection) return std::string();
    try {
        return m_connection->getUniqueName();
    } catch (const sdbus::Error&) {
        return std::string();
    }
}

}  // namespace ipc
