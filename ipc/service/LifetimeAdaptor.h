#pragma once
// QXServiceLib.IUnknown at every exported path: another interface of the same
// object (QueryInterface) and the release of a client's reference.
#include "ipc/service/Adaptor.h"

namespace ipc {

class LifetimeAdaptor final : public Adaptor<QXServiceLib::IUnknown_adaptor> {
public:
    LifetimeAdaptor(ObjectTable& table, const std::string& path, plat::ComPtr<IUnknown> identity,
                    std::shared_ptr<CallGate> gate);
    ~LifetimeAdaptor() override;

private:
    void QueryInterface(sdbus::Result<int32_t, sdbus::ObjectPath>&& result, std::string riid) override;
    void Release() override;

    plat::ComPtr<IUnknown> m_identity;
};

}  // namespace ipc
