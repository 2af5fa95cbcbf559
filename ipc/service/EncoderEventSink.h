#pragma once
// The in-process sink attached to an exported encoder's connection point: each
// Progress event becomes a signal of QXServiceLib._IAudioEncoderEvents at the
// encoder's path.
#include <mutex>

#include "ipc/QXServiceLib.h"
#include "ipc/service/ExportedInterface.h"
#include "platform/com/ComObject.h"

namespace ipc {

class EncoderAdaptor;

class EncoderEventSink final : public plat::ComObject<EncoderEventSink, _IAudioEncoderEvents>, public SignalEmitter {
public:
    explicit EncoderEventSink(EncoderAdaptor* adaptor) : m_adaptor(adaptor) {}

    void Detach() override;
    HRESULT Progress(UINT nProgress, BSTR bstrSavePath) override;

private:
    std::mutex m_mutex;
    EncoderAdaptor* m_adaptor;
};

}  // namespace ipc
