// The desktop's poll round: through the bus the eight getters go out together
// and their answers are gathered; in process they are asked one by one. Both
// give the same values and name the same first failure.
#include <string>
#include <vector>

#include "ipc/client/PollRound.h"
#include "ipc/tests/BusFixture.h"

using namespace ipctest;

namespace {

// In the order the round reports its first failure, with what the fake answers.
struct Getter {
    const char* call;
    uint32_t value;
};
const Getter kGetters[] = {
    {"GetAvailableCommands", FakeController::kCommands}, {"GetCurrentState", FakeController::kState},
    {"IsCacheFull", 1},                                  {"GetTimeFullness", FakeController::kTimeFullness},
    {"GetPercentFullness", FakeController::kPercent},    {"GetPlayPosition", FakeController::kPlayPosition},
    {"GetRecordPosition", FakeController::kRecordPosition}, {"GetStartReadPos", FakeController::kStartReadPos},
};
constexpr int kGetterCount = int(std::size(kGetters));

std::vector<uint32_t> Values(const ipc::PollReadings& r) {
    return {r.commands,     r.state,      static_cast<uint32_t>(r.cacheFull), r.timeFullness,
            r.percent,      r.play,       r.record,                           r.startRead};
}

}  // namespace

TEST_F(IpcBus, APollRoundGivesEveryValueAndNamesTheFirstGetterThatFailed) {
    FakeController& fake = *service->controller;
    struct Target {
        const char* where;
        IAudioController* controller;
    };
    const Target targets[] = {{"through the bus", controller.Get()}, {"in process", service->controller.Get()}};
    // failing -1: none fails. A success code other than S_OK is no failure.
    for (HRESULT code : {E_ACCESSDENIED, HRESULT_FROM_WIN32(ERROR_DISK_FULL), S_FALSE}) {
        for (int failing = -1; failing < kGetterCount; ++failing) {
            for (const Target& target : targets) {
                SCOPED_TRACE(std::string(target.where) + ", failing " +
                             (failing < 0 ? std::string("none") : kGetters[failing].call) + ", code " +
                             std::to_string(code));
                fake.FailGetter(failing < 0 ? std::string() : std::string(kGetters[failing].call) + "()", code);
                const bool fails = failing >= 0 && FAILED(code);
                ipc::PollReadings r;
                r.commands = 0xDEAD;  // a round starts from nothing
                EXPECT_EQ(ipc::ReadPollRound(target.controller, &r), fails ? code : S_OK);
                EXPECT_EQ(r.hr, fails ? code : S_OK);
                if (fails) {
                    EXPECT_STREQ(r.failedCall, kGetters[failing].call);
                } else {
                    EXPECT_EQ(r.failedCall, nullptr);
                }
                // The values of the getters before the failure; none after it.
                std::vector<uint32_t> want;
                for (int i = 0; i < kGetterCount; ++i) want.push_back(!fails || i < failing ? kGetters[i].value : 0);
                EXPECT_EQ(Values(r), want);
            }
        }
    }
    fake.FailGetter(std::string(), S_OK);
    ipc::PollReadings r;
    EXPECT_EQ(ipc::ReadPollRound(nullptr, &r), E_POINTER);
    EXPECT_EQ(r.hr, E_POINTER);
    EXPECT_EQ(ipc::ReadPollRound(controller.Get(), nullptr), E_POINTER);
}

TEST_F(IpcBus, APollRoundOfAStoppedServiceEndsWithItsFirstGetterFailed) {
    service->Shutdown();
    ipc::PollReadings r;
    EXPECT_EQ(ipc::ReadPollRound(controller.Get(), &r), RPC_E_SERVER_UNAVAILABLE);
    EXPECT_STREQ(r.failedCall, "GetAvailableCommands");
    EXPECT_EQ(Values(r), std::vector<uint32_t>(kGetterCount, 0));
}
