#include "ipc/service/LifetimeAdaptor.h"

namespace ipc {

LifetimeAdaptor::LifetimeAdaptor(ObjectTable& table, const std::string& path, plat::ComPtr<IUnknown> identity,
                                 std::shared_ptr<CallGate> gate)
    : Adaptor(table, path, std::move(gate)), m_identity(std::move(identity)) {
    registerAdaptor();
}

LifetimeAdaptor::~LifetimeAdaptor() { unregisterAdaptor(); }

void LifetimeAdaptor::QueryInterface(sdbus::Result<int32_t, sdbus::ObjectPath>&& result, std::string riid) {
    Queue([ctx = CallContext{m_table, Caller(), getObjectPath(), Member()}, result = std::move(result), identity = m_identity,
           riid = std::move(riid)](CallFate fate) mutable {
        if (fate != CallFate::Run) {
            AnswerRefused(result, fate);
            return;
        }
        HRESULT hr = S_OK;
        std::string path = kNullPath;
        GUID iid = GUID_NULL;
        ObjectKind kind = ObjectKind::Controller;
        if (!WireText::ToGuid(riid, &iid)) {
            hr = E_INVALIDARG;
        } else if (iid == IID_IUnknown) {
            hr = ctx.table.AddRef(ctx.selfPath, ctx.caller);
            if (SUCCEEDED(hr)) path = ctx.selfPath;
        } else if (!KindFromIid(iid, &kind)) {
            // Interfaces that never cross the bus (the cache, internal ones).
            hr = E_NOINTERFACE;
        } else {
            plat::ComPtr<IUnknown> itf;
            hr = identity->QueryInterface(iid, reinterpret_cast<void**>(itf.GetAddressOf()));
            if (SUCCEEDED(hr) && !itf) hr = E_NOINTERFACE;
            if (SUCCEEDED(hr)) {
                std::string handed;
                hr = ctx.table.HandOut(kind, itf.Get(), ctx.caller, ctx.selfPath, &handed);
                if (SUCCEEDED(hr)) path = handed;
            }
        }
        try {
            result.returnResults(hr, sdbus::ObjectPath(path));
        } catch (const sdbus::Error&) {
            // The caller has gone; its references go with it.
        }
    });
}

void LifetimeAdaptor::Release() {
    Queue(
        [table = &m_table, path = getObjectPath(), caller = Caller()](CallFate fate) {
            if (fate == CallFate::Run) table->Release(path, caller);
        },
        true);
}

}  // namespace ipc
