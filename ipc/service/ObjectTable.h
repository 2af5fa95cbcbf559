#pragma once
// The service's table of exported objects: which engine object lives at which
// path, with which interfaces, and how many references each client holds on
// it. An object handed to a client counts one reference for that client; when
// the last reference of every client is gone (released, or the client left the
// bus) the object takes no new call; it leaves the bus and the table's
// reference on it is dropped once the calls still running on it have
// answered (see CallGate).
//
// Lock order: the table's lock may be held while adaptors are created or
// destroyed (which takes the bus connection's lock); nothing that runs inside
// the bus's dispatch takes the table's lock, so the two never wait on each other.
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <sdbus-c++/IConnection.h>

#include "ipc/QXServiceLib.h"
#include "ipc/common/ObjectKind.h"
#include "ipc/service/CallGate.h"
#include "ipc/service/CallPool.h"
#include "ipc/service/ExportedInterface.h"
#include "platform/com/ComPtr.h"

namespace ipc {

class ObjectTable {
public:
    ObjectTable(sdbus::IConnection& connection, CallPool& pool);
    ~ObjectTable();
    ObjectTable(const ObjectTable&) = delete;
    ObjectTable& operator=(const ObjectTable&) = delete;

    sdbus::IConnection& Connection() { return m_connection; }
    // Runs work on the call pool (see CallPool::Submit).
    bool Submit(std::unique_ptr<CallPool::Job>& job, bool bookkeeping = false);
    bool IsStopping() const { return m_pool.IsStopping(); }

    // Exports obj (an object with the interface of kind) at a fixed path until
    // Clear. Counts no reference: the host keeps it.
    HRESULT ExportPermanent(ObjectKind kind, IUnknown* obj, const std::string& path);
    // Exports obj with the interface of kind (on demand) and counts one
    // reference for caller; *path is where it lives. parentPath places a tag
    // under its song.
    HRESULT HandOut(ObjectKind kind, IUnknown* obj, const std::string& caller, const std::string& parentPath,
                    std::string* path);
    // The object exported at path, or null (also while it is leaving).
    plat::ComPtr<IUnknown> Resolve(const std::string& path);
    // Counts one more reference of caller on the object at path (a client
    // asking an object for IUnknown). RPC_E_DISCONNECTED when nothing is there.
    HRESULT AddRef(const std::string& path, const std::string& caller);
    // Gives back one reference of caller on the object at path (nothing when
    // caller holds none).
    void Release(const std::string& path, const std::string& caller);
    // Gives back every reference of a client that has left the bus.
    void DropClient(const std::string& caller);
    // Asks every exported encoder to stop its save (the service is stopping).
    void StopAllSaves();
    // Takes every object off the bus and drops every reference.
    void Clear();
    // The last call in progress on a leaving object has answered: it leaves
    // the bus (on the call pool).
    void CallsDrained();

    // Objects on the bus, those leaving included.
    size_t ExportedCount() const;
    size_t ReferenceCount() const;
    size_t ReferenceCount(const std::string& caller) const;
    bool IsExported(const std::string& path) const;
    // Released, but still answering the calls that were running on it.
    bool IsLeaving(const std::string& path) const;

private:
    struct Entry {
        std::string path;
        plat::ComPtr<IUnknown> identity;
        std::unique_ptr<ExportedInterface> lifetime;
        std::map<ObjectKind, std::unique_ptr<ExportedInterface>> interfaces;
        std::unordered_map<std::string, uint32_t> refs;
        bool permanent = false;
        // Counts the calls in progress on every interface of the object.
        std::shared_ptr<CallGate> gate;
        // No reference is left; it waits for its calls in progress.
        bool leaving = false;
        // The event sink attached to the object's connection point, if any.
        plat::ComPtr<IConnectionPoint> eventPoint;
        DWORD eventCookie = 0;
        plat::ComPtr<IUnknown> eventSink;
        SignalEmitter* emitter = nullptr;
    };

    HRESULT ExportLocked(ObjectKind kind, IUnknown* identity, IUnknown* obj, const std::string& preferredPath,
                         bool permanent, Entry** entry);
    HRESULT AddInterfaceLocked(Entry& entry, ObjectKind kind, IUnknown* obj);
    std::string FreePathLocked(const std::string& preferred);
    // "/Encoders/<n>" and the like, for objects without a name of their own.
    std::string NumberedPathLocked(ObjectKind kind);
    std::string PreferredPath(ObjectKind kind, IUnknown* obj, const std::string& parentPath);
    // Takes the entry off the bus; its object reference moves to *drop so
    // that it is released after the lock is left.
    void RemoveLocked(const std::string& path, std::vector<plat::ComPtr<IUnknown>>* drop);
    // The entry has no reference left: it goes now, or once its calls in
    // progress have answered.
    void RetireLocked(const std::string& path, std::vector<plat::ComPtr<IUnknown>>* drop);
    // Handed out again while leaving: it stays.
    static void ReviveLocked(Entry& entry);
    bool IsDepartedLocked(const std::string& caller) const;

    sdbus::IConnection& m_connection;
    CallPool& m_pool;
    mutable std::mutex m_mutex;
    std::map<std::string, std::unique_ptr<Entry>> m_byPath;
    std::map<IUnknown*, Entry*> m_byIdentity;
    uint64_t m_nextSerial = 1;
    // Clients that have left recently: a reference handed out to one of them
    // after its departure was seen is not kept.
    std::deque<std::string> m_departedOrder;
    std::unordered_set<std::string> m_departed;
};

}  // namespace ipc
