#include "ipc/service/ObjectTable.h"

#include <new>

#include <sdbus-c++/Error.h>

#include "ipc/common/Names.h"
#include "ipc/service/Adaptor.h"
#include "ipc/service/AudioManagerAdaptor.h"
#include "ipc/service/CaptureManagerAdaptor.h"
#include "ipc/service/ControllerAdaptor.h"
#include "ipc/service/ControllerEventSink.h"
#include "ipc/service/EncoderAdaptor.h"
#include "ipc/service/EncoderEventSink.h"
#include "ipc/service/LifetimeAdaptor.h"
#include "ipc/service/PlayListAdaptor.h"
#include "ipc/service/SettingsAdaptor.h"
#include "ipc/service/SongAdaptor.h"
#include "ipc/service/TagAdaptor.h"
#include "log/Trace.h"

namespace ipc {

namespace {

constexpr size_t kDepartedMemory = 1024;

template <class Itf>
plat::ComPtr<Itf> As(IUnknown* obj) {
    plat::ComPtr<Itf> typed;
    if (obj) obj->QueryInterface(plat::IidOf<Itf>(), reinterpret_cast<void**>(typed.ReleaseAndGetAddressOf()));
    return typed;
}

// The adaptor that serves kind's interface of obj at path.
HRESULT CreateAdaptor(ObjectTable& table, ObjectKind kind, IUnknown* obj, const std::string& path,
                      const std::shared_ptr<CallGate>& gate, std::unique_ptr<ExportedInterface>* out) {
    switch (kind) {
    case ObjectKind::Controller:
        if (auto p = As<IAudioController>(obj)) *out = std::make_unique<ControllerAdaptor>(table, path, p, gate);
        break;
    case ObjectKind::Settings:
        if (auto p = As<ISettings>(obj)) *out = std::make_unique<SettingsAdaptor>(table, path, p, gate);
        break;
    case ObjectKind::PlayList:
        if (auto p = As<IPlayList>(obj)) *out = std::make_unique<PlayListAdaptor>(table, path, p, gate);
        break;
    case ObjectKind::Song:
        if (auto p = As<ISong>(obj)) *out = std::make_unique<SongAdaptor>(table, path, p, gate);
        break;
    case ObjectKind::Tag:
        if (auto p = As<ID3>(obj)) *out = std::make_unique<TagAdaptor>(table, path, p, gate);
        break;
    case ObjectKind::AudioManager:
        if (auto p = As<IAudioManager>(obj)) *out = std::make_unique<AudioManagerAdaptor>(table, path, p, gate);
        break;
    case ObjectKind::CaptureManager:
        if (auto p = As<ICaptureManager>(obj)) *out = std::make_unique<CaptureManagerAdaptor>(table, path, p, gate);
        break;
    case ObjectKind::Encoder:
        if (auto p = As<IAudioEncoder>(obj)) *out = std::make_unique<EncoderAdaptor>(table, path, p, gate);
        break;
    }
    return *out ? S_OK : E_NOINTERFACE;
}

}  // namespace

ObjectTable::ObjectTable(sdbus::IConnection& connection, CallPool& pool) : m_connection(connection), m_pool(pool) {}

ObjectTable::~ObjectTable() { Clear(); }

bool ObjectTable::Submit(std::unique_ptr<CallPool::Job>& job, bool bookkeeping) {
    return m_pool.Submit(job, bookkeeping);
}

std::string ObjectTable::PreferredPath(ObjectKind kind, IUnknown* obj, const std::string& parentPath) {
    switch (kind) {
    case ObjectKind::Controller:
        return kControllerPath;
    case ObjectKind::Settings:
        return kSettingsPath;
    case ObjectKind::PlayList:
        return kPlayListPath;
    case ObjectKind::AudioManager:
        return kAudioManagerPath;
    case ObjectKind::CaptureManager:
        return kCaptureManagerPath;
    case ObjectKind::Song: {
        // Songs live under their GUID, so the same song keeps its path.
        GUID guid = GUID_NULL;
        auto song = As<ISong>(obj);
        if (song && SUCCEEDED(song->GetID(&guid)) && guid != GUID_NULL)
            return std::string(kSongsPath) + "/" + plat::GuidToHex(guid);
        return std::string();  // numbered when exported
    }
    case ObjectKind::Tag:
        if (parentPath.starts_with(std::string(kSongsPath) + "/")) return parentPath + "/" + kTagLeaf;
        return std::string();
    case ObjectKind::Encoder:
        return std::string();
    }
    return std::string();
}

std::string ObjectTable::NumberedPathLocked(ObjectKind kind) {
    const char* root = kind == ObjectKind::Encoder ? kEncodersPath : kind == ObjectKind::Song ? kSongsPath : kTagsPath;
    return std::string(root) + "/" + std::to_string(m_nextSerial++);
}

std::string ObjectTable::FreePathLocked(const std::string& preferred) {
    if (!m_byPath.count(preferred)) return preferred;
    // Another object already lives there (two objects with one GUID, say).
    for (;;) {
        std::string candidate = preferred + "_" + std::to_string(m_nextSerial++);
        if (!m_byPath.count(candidate)) return candidate;
    }
}

HRESULT ObjectTable::AddInterfaceLocked(Entry& entry, ObjectKind kind, IUnknown* obj) {
    if (entry.interfaces.count(kind)) return S_OK;
    std::unique_ptr<ExportedInterface> adaptor;
    HRESULT hr = S_OK;
    try {
        hr = CreateAdaptor(*this, kind, obj, entry.path, entry.gate, &adaptor);
    } catch (const sdbus::Error& e) {
        TQ_TRACE_HR("CreateAdaptor(kind, obj, path)");
        TQ_REPORT(EC_INTERNAL, E_FAIL, plat::ToUtf16("Exporting an object was failed: " + e.getMessage()));
        return E_FAIL;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    if (FAILED(hr)) return hr;

    // The controller and encoders fire events: a sink on their connection
    // point turns each event into a signal at the object's path.
    plat::ComPtr<IUnknown> sink;
    SignalEmitter* emitter = nullptr;
    IID events = GUID_NULL;
    if (kind == ObjectKind::Controller) {
        auto* s = ControllerEventSink::CreateInstance(static_cast<ControllerAdaptor*>(adaptor.get()));
        sink = static_cast<_IAudioControllerEvents*>(s);
        emitter = s;
        events = DIID__IAudioControllerEvents;
    } else if (kind == ObjectKind::Encoder) {
        auto* s = EncoderEventSink::CreateInstance(static_cast<EncoderAdaptor*>(adaptor.get()));
        sink = static_cast<_IAudioEncoderEvents*>(s);
        emitter = s;
        events = DIID__IAudioEncoderEvents;
    }
    if (emitter) {
        if (!sink) return E_OUTOFMEMORY;
        auto container = As<IConnectionPointContainer>(obj);
        plat::ComPtr<IConnectionPoint> point;
        DWORD cookie = 0;
        if (!container || FAILED(hr = container->FindConnectionPoint(events, point.ReleaseAndGetAddressOf())) ||
            !point || FAILED(hr = point->Advise(sink.Get(), &cookie))) {
            // The object fires no events; its methods still work.
            TQ_TRACE_HR("FindConnectionPoint(events)->Advise(sink)");
            emitter->Detach();
        } else {
            entry.eventPoint = point;
            entry.eventCookie = cookie;
            entry.eventSink = sink;
            entry.emitter = emitter;
        }
    }
    entry.interfaces.emplace(kind, std::move(adaptor));
    return S_OK;
}

HRESULT ObjectTable::ExportLocked(ObjectKind kind, IUnknown* identity, IUnknown* obj,
                                  const std::string& preferredPath, bool permanent, Entry** out) {
    auto found = m_byIdentity.find(identity);
    Entry* entry = nullptr;
    if (found != m_byIdentity.end()) {
        entry = found->second;
        ReviveLocked(*entry);
    } else {
        std::string preferred = preferredPath;
        if (preferred.empty()) preferred = NumberedPathLocked(kind);
        auto fresh = std::make_unique<Entry>();
        fresh->path = FreePathLocked(preferred);
        fresh->identity = identity;
        try {
            fresh->gate = std::make_shared<CallGate>();
            fresh->lifetime = std::make_unique<LifetimeAdaptor>(*this, fresh->path, fresh->identity, fresh->gate);
        } catch (const sdbus::Error& e) {
            TQ_TRACE_HR("LifetimeAdaptor(path)");
            TQ_REPORT(EC_INTERNAL, E_FAIL, plat::ToUtf16("Exporting an object was failed: " + e.getMessage()));
            return E_FAIL;
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        entry = fresh.get();
        m_byIdentity.emplace(identity, entry);
        m_byPath.emplace(entry->path, std::move(fresh));
    }
    HRESULT hr = AddInterfaceLocked(*entry, kind, obj);
    if (FAILED(hr)) {
        if (entry->interfaces.empty()) {
            std::vector<plat::ComPtr<IUnknown>> drop;
            RemoveLocked(entry->path, &drop);
            // The caller still holds obj: this is never the last reference.
        }
        return hr;
    }
    if (permanent) entry->permanent = true;
    *out = entry;
    return S_OK;
}

HRESULT ObjectTable::ExportPermanent(ObjectKind kind, IUnknown* obj, const std::string& path) {
    if (!obj) return E_POINTER;
    auto identity = As<IUnknown>(obj);
    if (!identity) return E_NOINTERFACE;
    std::lock_guard lock(m_mutex);
    Entry* entry = nullptr;
    return ExportLocked(kind, identity.Get(), obj, path, true, &entry);
}

HRESULT ObjectTable::HandOut(ObjectKind kind, IUnknown* obj, const std::string& caller,
                             const std::string& parentPath, std::string* path) {
    if (!obj || !path) return E_POINTER;
    auto identity = As<IUnknown>(obj);
    if (!identity) return E_NOINTERFACE;
    // Asking the object for its GUID happens before the lock is taken.
    std::string preferred;
    {
        std::lock_guard lock(m_mutex);
        auto found = m_byIdentity.find(identity.Get());
        if (found != m_byIdentity.end()) preferred = found->second->path;
    }
    if (preferred.empty()) preferred = PreferredPath(kind, obj, parentPath);

    std::lock_guard lock(m_mutex);
    Entry* entry = nullptr;
    HRESULT hr = ExportLocked(kind, identity.Get(), obj, preferred, false, &entry);
    if (FAILED(hr)) return hr;
    if (!IsDepartedLocked(caller)) ++entry->refs[caller];
    *path = entry->path;
    if (entry->refs.empty() && !entry->permanent) {
        // Handed to a client that has already gone: nobody will release it.
        std::vector<plat::ComPtr<IUnknown>> drop;
        RetireLocked(entry->path, &drop);
    }
    return S_OK;
}

plat::ComPtr<IUnknown> ObjectTable::Resolve(const std::string& path) {
    std::lock_guard lock(m_mutex);
    auto found = m_byPath.find(path);
    if (found == m_byPath.end() || found->second->leaving) return nullptr;
    return found->second->identity;
}

HRESULT ObjectTable::AddRef(const std::string& path, const std::string& caller) {
    std::lock_guard lock(m_mutex);
    auto found = m_byPath.find(path);
    if (found == m_byPath.end()) return RPC_E_DISCONNECTED;
    ReviveLocked(*found->second);
    if (!IsDepartedLocked(caller)) ++found->second->refs[caller];
    if (found->second->refs.empty() && !found->second->permanent) {
        std::vector<plat::ComPtr<IUnknown>> drop;
        RetireLocked(path, &drop);
    }
    return S_OK;
}

void ObjectTable::ReviveLocked(Entry& entry) {
    if (!entry.leaving) return;
    entry.leaving = false;
    entry.gate->Reopen();
}

void ObjectTable::RetireLocked(const std::string& path, std::vector<plat::ComPtr<IUnknown>>* drop) {
    auto found = m_byPath.find(path);
    if (found == m_byPath.end()) return;
    Entry& entry = *found->second;
    if (entry.gate->Close()) {
        RemoveLocked(path, drop);
        return;
    }
    // Calls are still running on it: they answer first (CallsDrained).
    entry.leaving = true;
}

void ObjectTable::CallsDrained() {
    ObjectTable* table = this;
    auto work = [table](CallFate fate) {
        if (fate != CallFate::Run) return;  // the pool stops: Clear takes everything off
        std::vector<plat::ComPtr<IUnknown>> drop;
        {
            std::lock_guard lock(table->m_mutex);
            std::vector<std::string> drained;
            for (auto& [path, entry] : table->m_byPath)
                if (entry->leaving && entry->gate->IsDrained()) drained.push_back(path);
            for (const std::string& path : drained) table->RemoveLocked(path, &drop);
        }
        drop.clear();
    };
    // Never from here: this may run inside the bus's dispatch, in one of the
    // object's own handlers, which must not be destroyed under it.
    std::unique_ptr<CallPool::Job> job = std::make_unique<FunctionJob<decltype(work)>>(std::move(work));
    m_pool.Submit(job, true);  // refused only while stopping, when Clear takes everything off
}

void ObjectTable::RemoveLocked(const std::string& path, std::vector<plat::ComPtr<IUnknown>>* drop) {
    auto found = m_byPath.find(path);
    if (found == m_byPath.end()) return;
    Entry& entry = *found->second;
    if (entry.emitter) entry.emitter->Detach();
    if (entry.eventPoint) {
        HRESULT hr = entry.eventPoint->Unadvise(entry.eventCookie);
        if (FAILED(hr)) TQ_TRACE_HR("eventPoint->Unadvise(eventCookie)");
    }
    drop->push_back(std::move(entry.eventSink));
    drop->push_back(std::move(entry.eventPoint));
    // Destroying the adaptors takes the interfaces off the bus.
    entry.interfaces.clear();
    entry.lifetime.reset();
    drop->push_back(std::move(entry.identity));
    m_byIdentity.erase(drop->back().Get());
    m_byPath.erase(found);
}

void ObjectTable::Release(const std::string& path, const std::string& caller) {
    std::vector<plat::ComPtr<IUnknown>> drop;
    {
        std::lock_guard lock(m_mutex);
        auto found = m_byPath.find(path);
        if (found == m_byPath.end()) return;
        Entry& entry = *found->second;
        auto ref = entry.refs.find(caller);
        if (ref == entry.refs.end()) return;
        if (--ref->second == 0) entry.refs.erase(ref);
        if (entry.refs.empty() && !entry.permanent) RetireLocked(path, &drop);
    }
    // The objects' last references go outside the lock.
    drop.clear();
}

bool ObjectTable::IsDepartedLocked(const std::string& caller) const { return m_departed.count(caller) != 0; }

void ObjectTable::DropClient(const std::string& caller) {
    std::vector<plat::ComPtr<IUnknown>> drop;
    {
        std::lock_guard lock(m_mutex);
        if (m_departed.insert(caller).second) {
            m_departedOrder.push_back(caller);
            if (m_departedOrder.size() > kDepartedMemory) {
                m_departed.erase(m_departedOrder.front());
                m_departedOrder.pop_front();
            }
        }
        std::vector<std::string> empty;
        for (auto& [path, entry] : m_byPath) {
            if (entry->refs.erase(caller) && entry->refs.empty() && !entry->permanent) empty.push_back(path);
        }
        for (const std::string& path : empty) RetireLocked(path, &drop);
    }
    drop.clear();
}

void ObjectTable::StopAllSaves() {
    std::vector<plat::ComPtr<IAudioEncoder>> encoders;
    {
        std::lock_guard lock(m_mutex);
        for (auto& [path, entry] : m_byPath)
            if (entry->interfaces.count(ObjectKind::Encoder))
                if (auto encoder = As<IAudioEncoder>(entry->identity.Get())) encoders.push_back(encoder);
    }
    for (auto& encoder : encoders) encoder->StopSave();
}

void ObjectTable::Clear() {
    std::vector<plat::ComPtr<IUnknown>> drop;
    {
        std::lock_guard lock(m_mutex);
        while (!m_byPath.empty()) RemoveLocked(m_byPath.begin()->first, &drop);
    }
    drop.clear();
}

size_t ObjectTable::ExportedCount() const {
    std::lock_guard lock(m_mutex);
    return m_byPath.size();
}

size_t ObjectTable::ReferenceCount() const {
    std::lock_guard lock(m_mutex);
    size_t n = 0;
    for (auto& [path, entry] : m_byPath)
        for (auto& [caller, count] : entry->refs) n += count;
    return n;
}

size_t ObjectTable::ReferenceCount(const std::string& caller) const {
    std::lock_guard lock(m_mutex);
    size_t n = 0;
    for (auto& [path, entry] : m_byPath) {
        auto ref = entry->refs.find(caller);
        if (ref != entry->refs.end()) n += ref->second;
    }
    return n;
}

bool ObjectTable::IsExported(const std::string& path) const {
    std::lock_guard lock(m_mutex);
    return m_byPath.count(path) != 0;
}

bool ObjectTable::IsLeaving(const std::string& path) const {
    std::lock_guard lock(m_mutex);
    auto found = m_byPath.find(path);
    return found != m_byPath.end() && found->second->leaving;
}

}  // namespace ipc
