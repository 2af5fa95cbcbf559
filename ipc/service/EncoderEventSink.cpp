#include "ipc/service/EncoderEventSink.h"

#include <sdbus-c++/Error.h>

#include "ipc/common/WireText.h"
#include "ipc/service/EncoderAdaptor.h"
#include "log/Trace.h"

namespace ipc {

void EncoderEventSink::Detach() {
    std::lock_guard lock(m_mutex);
    m_adaptor = nullptr;
}

HRESULT EncoderEventSink::Progress(UINT nProgress, BSTR bstrSavePath) {
    std::lock_guard lock(m_mutex);
    if (!m_adaptor) return S_OK;  // the encoder has left the bus
    try {
        m_adaptor->emitProgress(nProgress, WireText::FromBstr(bstrSavePath));
        return S_OK;
    } catch (const sdbus::Error&) {
        TQ_TRACE_HR("emitProgress(nProgress, bstrSavePath)");
        return RPC_E_CALL_FAILED;
    }
}

}  // namespace ipc
