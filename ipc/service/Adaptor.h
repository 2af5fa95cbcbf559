#pragma once
// The base of every adaptor: it serves one interface of one engine object at
// its path. Each method handler runs inside the bus's dispatch only long
// enough to note the caller and queue the call; the call itself runs on the
// call pool once the dispatch has returned, where the bus arguments are
// checked and converted, the object is called and its HRESULT and
// out-parameters are sent back.
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>

#include <sdbus-c++/sdbus-c++.h>

#include "ipc/common/BusError.h"
#include "ipc/common/GeneratedAdaptors.h"
#include "ipc/service/CallGate.h"
#include "ipc/service/CallPool.h"
#include "ipc/service/ExportedInterface.h"
#include "ipc/service/ObjectTable.h"
#include "ipc/service/ServiceArgs.h"
#include "log/Trace.h"
#include "platform/core/ExceptionGuard.h"

namespace ipc {

// Why a queued call did not run.
enum class CallFate { Run, ShuttingDown, Busy, Gone };

// One call's hold on the gate of the object it was made on, from its arrival
// until everything that answers it is gone. The last call of a leaving object
// tells the table, which then takes the object off the bus.
class CallTicket {
public:
    CallTicket() = default;
    // Enters gate; empty when the object is leaving.
    CallTicket(ObjectTable& table, const std::shared_ptr<CallGate>& gate) {
        if (gate && gate->Enter()) {
            m_table = &table;
            m_gate = gate;
        }
    }
    CallTicket(CallTicket&& other) noexcept
        : m_table(std::exchange(other.m_table, nullptr)), m_gate(std::move(other.m_gate)) {}
    CallTicket& operator=(CallTicket&&) = delete;
    ~CallTicket() {
        if (m_gate && m_gate->Leave()) m_table->CallsDrained();
    }
    explicit operator bool() const { return m_gate != nullptr; }

private:
    ObjectTable* m_table = nullptr;
    std::shared_ptr<CallGate> m_gate;
};

// A call waiting on the pool: one callable that runs it or answers that it
// could not run. The ticket is let go after the callable (and the answer it
// holds) is destroyed.
template <class F>
class FunctionJob final : public CallPool::Job {
public:
    explicit FunctionJob(F&& f, CallTicket ticket = CallTicket()) : m_ticket(std::move(ticket)), m_f(std::move(f)) {}
    void Run() override { m_f(CallFate::Run); }
    void Cancel() override { m_f(CallFate::ShuttingDown); }
    void Refuse() { m_f(CallFate::Busy); }

private:
    CallTicket m_ticket;
    F m_f;
};

// Answers a call that could not run with a bus error.
template <class... R>
void AnswerRefused(const sdbus::Result<R...>& result, CallFate fate) {
    try {
        if (fate == CallFate::Busy)
            result.returnError(sdbus::Error(BusError::kBusy, "Too many calls are waiting"));
        else if (fate == CallFate::Gone)
            result.returnError(sdbus::Error(BusError::kUnknownObject, "The object has been released"));
        else
            result.returnError(sdbus::Error(BusError::kShuttingDown, "The service is stopping"));
    } catch (const sdbus::Error&) {
        // The caller has gone or the connection is closing: nobody to tell.
    }
}

// Which parameters of a method are out-parameters, and where each one sits
// among the bus arguments of its direction.
template <class... P>
struct ParamLayout {
    static constexpr bool kOut[sizeof...(P) + 1] = {Arg<P>::kOut..., false};
    static constexpr size_t Position(size_t i) {
        size_t n = 0;
        for (size_t j = 0; j < i; ++j) n += (kOut[j] == kOut[i]) ? 1 : 0;
        return n;
    }
    static constexpr size_t kOuts = (0 + ... + (Arg<P>::kOut ? 1 : 0));
    static constexpr size_t kIns = sizeof...(P) - kOuts;
};

template <class T>
T WireDefault() {
    if constexpr (std::is_same_v<T, sdbus::ObjectPath>)
        return sdbus::ObjectPath(kNullPath);
    else
        return T{};
}

// Runs one call: bus arguments in, the object's method, HRESULT and
// out-parameters back.
template <class Itf, class... P, class... Outs, class... W>
void RunForwarded(CallContext& ctx, const sdbus::Result<int32_t, Outs...>& result, Itf* target,
                  HRESULT (Itf::*method)(P...), std::tuple<W...>& wires) {
    using Layout = ParamLayout<P...>;
    using Args = std::tuple<Arg<P>...>;
    static_assert(Layout::kIns == sizeof...(W), "bus in-arguments do not match the interface method");
    static_assert(Layout::kOuts == sizeof...(Outs), "bus out-arguments do not match the interface method");

    HRESULT hr = S_OK;
    std::tuple<Outs...> outs{WireDefault<Outs>()...};
    try {
        Args args;
        [&]<size_t... I>(std::index_sequence<I...>) {
            (
                [&] {
                    using A = std::tuple_element_t<I, Args>;
                    if constexpr (!A::kOut) {
                        using Wire = std::tuple_element_t<Layout::Position(I), std::tuple<W...>>;
                        static_assert(std::is_same_v<typename A::Wire, Wire>, "bus type does not match the parameter");
                        if (SUCCEEDED(hr)) hr = std::get<I>(args).Set(ctx, std::get<Layout::Position(I)>(wires));
                    }
                }(),
                ...);
        }(std::index_sequence_for<P...>{});
        if (FAILED(hr)) TQ_TRACE_HR("an argument from the bus");
        if (SUCCEEDED(hr)) hr = std::apply([&](auto&... a) { return (target->*method)(a.Get()...); }, args);
        if (SUCCEEDED(hr)) {
            HRESULT putHr = S_OK;
            [&]<size_t... I>(std::index_sequence<I...>) {
                (
                    [&] {
                        using A = std::tuple_element_t<I, Args>;
                        if constexpr (A::kOut) {
                            using Wire = std::tuple_element_t<Layout::Position(I), std::tuple<Outs...>>;
                            static_assert(std::is_void_v<typename A::Wire> || std::is_same_v<typename A::Wire, Wire>,
                                          "bus type does not match the parameter");
                            if (SUCCEEDED(putHr))
                                putHr = std::get<I>(args).Put(ctx, std::get<Layout::Position(I)>(outs));
                        }
                    }(),
                    ...);
            }(std::index_sequence_for<P...>{});
            if (FAILED(putHr)) {
                // An answer that cannot be delivered whole is a failure, never
                // a success with a part missing.
                TQ_TRACE_HR("an out-parameter for the bus");
                hr = putHr;
                outs = std::tuple<Outs...>{WireDefault<Outs>()...};
            }
        }
    } catch (...) {
        // Whatever the object threw answers as a failure; the service lives on.
        hr = plat::ReportCurrentException("bus call", ctx.method);
        outs = std::tuple<Outs...>{WireDefault<Outs>()...};
    }
    try {
        std::apply([&](auto&... o) { result.returnResults(hr, o...); }, outs);
    } catch (const sdbus::Error&) {
        // The caller left before its answer: nothing more to do.
    }
}

template <class... Generated>
class Adaptor : public sdbus::AdaptorInterfaces<Generated...>, public ExportedInterface {
protected:
    Adaptor(ObjectTable& table, const std::string& path, std::shared_ptr<CallGate> gate)
        : sdbus::AdaptorInterfaces<Generated...>(table.Connection(), path), m_table(table), m_gate(std::move(gate)) {}

    // The calling connection (valid inside a handler, during the dispatch).
    std::string Caller() {
        const sdbus::Message* message = this->getObject().getCurrentlyProcessedMessage();
        return message ? message->getSender() : std::string();
    }

    // "interface.Method" of the call being served (inside a handler).
    std::string Member() {
        const sdbus::Message* message = this->getObject().getCurrentlyProcessedMessage();
        return message ? message->getInterfaceName() + "." + message->getMemberName() : std::string();
    }

    // Queues work (a callable taking CallFate) on the pool, or answers at once
    // that it cannot run. A call holds the object on the bus until it has
    // answered; bookkeeping (a release) sends no answer and holds nothing.
    template <class F>
    void Queue(F&& work, bool bookkeeping = false) {
        CallTicket ticket = bookkeeping ? CallTicket() : CallTicket(m_table, m_gate);
        if (!bookkeeping && !ticket) {
            // Released while the call was on its way: as if it were gone.
            work(CallFate::Gone);
            return;
        }
        auto job = std::make_unique<FunctionJob<std::decay_t<F>>>(std::forward<F>(work), std::move(ticket));
        FunctionJob<std::decay_t<F>>* raw = job.get();
        std::unique_ptr<CallPool::Job> base = std::move(job);
        if (!m_table.Submit(base, bookkeeping)) {
            // Handed back untouched: answer from here.
            if (m_table.IsStopping())
                raw->Cancel();
            else
                raw->Refuse();
        }
    }

    // Serves one method: the bus arguments wire... are checked and passed to
    // target->*method on the call pool; its HRESULT and out-parameters answer.
    template <class Itf, class... P, class... Outs, class... W>
    void Forward(sdbus::Result<int32_t, Outs...>&& result, const plat::ComPtr<Itf>& target,
                 HRESULT (Itf::*method)(P...), W... wire) {
        Queue(Forwarded(std::move(result), target, method, std::move(wire)...));
    }

    // Serves a method as Forward does, but on the thread that read the call,
    // before the next message is read: for methods that only read a word of
    // the object's state and never wait on anything. Handing such a call to
    // another thread costs that thread's wake-up, which is most of what the
    // call costs; a method that can wait (on a lock, the disk, the engine)
    // must never come here, as the bus is not read meanwhile. Refused as any
    // other call once the object is leaving or the service stops.
    template <class Itf, class... P, class... Outs, class... W>
    void AnswerNow(sdbus::Result<int32_t, Outs...>&& result, const plat::ComPtr<Itf>& target,
                   HRESULT (Itf::*method)(P...), W... wire) {
        // The ticket goes last, after the answer (see FunctionJob).
        CallTicket ticket(m_table, m_gate);
        auto work = Forwarded(std::move(result), target, method, std::move(wire)...);
        if (!ticket)
            work(CallFate::Gone);
        else
            work(m_table.IsStopping() ? CallFate::ShuttingDown : CallFate::Run);
    }

    // The callable that runs a forwarded call, or answers that it could not run.
    template <class Itf, class... P, class... Outs, class... W>
    auto Forwarded(sdbus::Result<int32_t, Outs...>&& result, const plat::ComPtr<Itf>& target,
                   HRESULT (Itf::*method)(P...), W... wire) {
        return [ctx = CallContext{m_table, Caller(), this->getObjectPath(), Member()}, result = std::move(result), target,
                method, wires = std::make_tuple(std::move(wire)...)](CallFate fate) mutable {
            if (fate != CallFate::Run) {
                AnswerRefused(result, fate);
                return;
            }
            RunForwarded(ctx, result, target.Get(), method, wires);
        };
    }

    ObjectTable& m_table;
    // Shared by every interface of the object; see CallGate.
    std::shared_ptr<CallGate> m_gate;
};

}  // namespace ipc
