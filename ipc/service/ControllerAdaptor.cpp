#include "ipc/service/ControllerAdaptor.h"

namespace ipc {

ControllerAdaptor::ControllerAdaptor(ObjectTable& table, const std::string& path, plat::ComPtr<IAudioController> target,
                                     std::shared_ptr<CallGate> gate)
    : Adaptor(table, path, std::move(gate)), m_target(std::move(target)) {
    registerAdaptor();
}

ControllerAdaptor::~ControllerAdaptor() { unregisterAdaptor(); }

void ControllerAdaptor::Play(sdbus::Result<int32_t>&& result) {
    Forward(std::move(result), m_target, &IAudioController::Play);
}

void ControllerAdaptor::Pause(sdbus::Result<int32_t>&& result) {
    Forward(std::move(result), m_target, &IAudioController::Pause);
}

void ControllerAdaptor::Record(sdbus::Result<int32_t>&& result) {
    Forward(std::move(result), m_target, &IAudioController::Record);
}

void ControllerAdaptor::StopRecord(sdbus::Result<int32_t>&& result) {
    Forward(std::move(result), m_target, &IAudioController::StopRecord);
}

void ControllerAdaptor::Live(sdbus::Result<int32_t>&& result) {
    Forward(std::move(result), m_target, &IAudioController::Live);
}

void ControllerAdaptor::SetPlayPosition(sdbus::Result<int32_t>&& result, int64_t lOffset, uint32_t eBasePos) {
    Forward(std::move(result), m_target, &IAudioController::SetPlayPosition, lOffset, eBasePos);
}

// Answered now: see the state word's getters below.
void ControllerAdaptor::GetPlayPosition(sdbus::Result<int32_t, uint32_t>&& result) {
    AnswerNow(std::move(result), m_target, &IAudioController::GetPlayPosition);
}

void ControllerAdaptor::GetRecordPosition(sdbus::Result<int32_t, uint32_t>&& result) {
    AnswerNow(std::move(result), m_target, &IAudioController::GetRecordPosition);
}

void ControllerAdaptor::GetPercentFullness(sdbus::Result<int32_t, uint8_t>&& result) {
    AnswerNow(std::move(result), m_target, &IAudioController::GetPercentFullness);
}

void ControllerAdaptor::GetTimeFullness(sdbus::Result<int32_t, uint32_t>&& result) {
    AnswerNow(std::move(result), m_target, &IAudioController::GetTimeFullness);
}

void ControllerAdaptor::GetStartReadPos(sdbus::Result<int32_t, uint32_t>&& result) {
    AnswerNow(std::move(result), m_target, &IAudioController::GetStartReadPos);
}

void ControllerAdaptor::UpdateSettings(sdbus::Result<int32_t>&& result) {
    Forward(std::move(result), m_target, &IAudioController::UpdateSettings);
}

void ControllerAdaptor::DropCache(sdbus::Result<int32_t>&& result, int32_t bWait) {
    Forward(std::move(result), m_target, &IAudioController::DropCache, bWait);
}

// The state word's getters read one atomic word, and the cache's position and
// fullness getters read positions the cache publishes without a lock: neither
// ever waits, so they are answered on the thread that reads the bus (the
// desktop polls them all every 100 ms).
void ControllerAdaptor::GetAvailableCommands(sdbus::Result<int32_t, uint32_t>&& result) {
    AnswerNow(std::move(result), m_target, &IAudioController::GetAvailableCommands);
}

void ControllerAdaptor::GetCurrentState(sdbus::Result<int32_t, uint32_t>&& result) {
    AnswerNow(std::move(result), m_target, &IAudioController::GetCurrentState);
}

void ControllerAdaptor::CheckState(sdbus::Result<int32_t, int32_t>&& result, uint32_t eState) {
    AnswerNow(std::move(result), m_target, &IAudioController::CheckState, eState);
}

void ControllerAdaptor::CheckCommand(sdbus::Result<int32_t, int32_t>&& result, uint32_t eCommand) {
    AnswerNow(std::move(result), m_target, &IAudioController::CheckCommand, eCommand);
}

void ControllerAdaptor::IsCacheFull(sdbus::Result<int32_t, int32_t>&& result) {
    AnswerNow(std::move(result), m_target, &IAudioController::IsCacheFull);
}

void ControllerAdaptor::CreateNewEncoder(sdbus::Result<int32_t, sdbus::ObjectPath>&& result, uint32_t eEncoderType) {
    Forward(std::move(result), m_target, &IAudioController::CreateNewEncoder, eEncoderType);
}

// Stopping the engine is the service host's own step at shutdown; a client
// that could call it would leave a running service with a dead engine.
void ControllerAdaptor::Destroy(sdbus::Result<int32_t>&& result) {
    TQ_TRACE_HR("E_ACCESSDENIED");
    try {
        result.returnResults(E_ACCESSDENIED);
    } catch (const sdbus::Error&) {
        // The caller has gone.
    }
}

void ControllerAdaptor::GetErrors(sdbus::Result<int32_t, std::vector<std::string>>&& result) {
    Forward(std::move(result), m_target, &IAudioController::GetErrors);
}

void ControllerAdaptor::SetUndeletableRange(sdbus::Result<int32_t>&& result, uint64_t llStartPos, uint64_t llEndPos) {
    Forward(std::move(result), m_target, &IAudioController::SetUndeletableRange, llStartPos, llEndPos);
}

void ControllerAdaptor::ResetUndeletableRange(sdbus::Result<int32_t>&& result, uint64_t llStartPos, uint64_t llEndPos) {
    Forward(std::move(result), m_target, &IAudioController::ResetUndeletableRange, llStartPos, llEndPos);
}

void ControllerAdaptor::ClearPlayList(sdbus::Result<int32_t>&& result) {
    Forward(std::move(result), m_target, &IAudioController::ClearPlayList);
}

void ControllerAdaptor::GetAmountCacheBuffer(sdbus::Result<int32_t, uint32_t>&& result) {
    Forward(std::move(result), m_target, &IAudioController::GetAmountCacheBuffer);
}

}  // namespace ipc
