#include "driver/PulseAdmin.h"

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/operation.h>
#include <pulse/subscribe.h>

#include <chrono>

#include "platform/sound/PulseLoop.h"

namespace {

struct SinkList {
    std::vector<PulseAdmin::Sink>* sinks;
    bool done = false;
    bool failed = false;
};

struct Outcome {
    bool done = false;
    bool ok = false;
    uint32_t index = PA_INVALID_INDEX;
    std::string text;
};

void OnSuccess(pa_context*, int success, void* userdata) {
    auto* o = static_cast<Outcome*>(userdata);
    o->ok = success != 0;
    o->done = true;
}

}  // namespace

PulseAdmin::PulseAdmin(int timeoutMs) : m_timeoutMs(timeoutMs) {}

PulseAdmin::~PulseAdmin() {
    if (m_wake) m_loop->Api()->io_free(m_wake);
    if (m_context) {
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
    }
    m_loop.reset();
}

bool PulseAdmin::Fail(const std::string& what) {
    m_error = what;
    if (m_context) {
        int code = pa_context_errno(m_context);
        if (code != 0) m_error += std::string(": ") + pa_strerror(code);
    }
    return false;
}

bool PulseAdmin::Iterate(int maxWaitMs) {
    if (!m_loop || !m_loop->Iterate(maxWaitMs < 0 ? -1 : int64_t{maxWaitMs} * 1000))
        return Fail("the sound server's event loop failed");
    return true;
}

bool PulseAdmin::RunUntil(const std::function<bool()>& done, const char* what) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_timeoutMs);
    while (!done()) {
        pa_context_state_t state = pa_context_get_state(m_context);
        if (state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED) return Fail(what);
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return Fail(std::string(what) + ": no answer in time");
        if (!Iterate(static_cast<int>(left.count() < 100 ? left.count() : 100))) return false;
    }
    return true;
}

bool PulseAdmin::Connect(const char* clientName) {
    m_loop = std::make_unique<plat::PulseLoop>();
    m_context = pa_context_new(m_loop->Api(), clientName);
    if (!m_context) return Fail("out of memory");
    if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        return Fail("cannot reach the sound server");
    return RunUntil([&] { return pa_context_get_state(m_context) == PA_CONTEXT_READY; },
                    "cannot reach the sound server");
}

bool PulseAdmin::ListSinks(std::vector<Sink>* sinks) {
    sinks->clear();
    SinkList list{sinks};
    auto callback = [](pa_context*, const pa_sink_info* info, int eol, void* userdata) {
        auto* l = static_cast<SinkList*>(userdata);
        if (eol != 0) {
            l->failed = eol < 0;
            l->done = true;
            return;
        }
        Sink s;
        s.name = info->name ? info->name : "";
        s.description = info->description ? info->description : "";
        s.monitorSource = info->monitor_source_name ? info->monitor_source_name : "";
        s.ownerModule = info->owner_module;
        l->sinks->push_back(std::move(s));
    };
    pa_operation* op = pa_context_get_sink_info_list(m_context, callback, &list);
    if (!op) return Fail("cannot list the outputs");
    bool ok = RunUntil([&] { return list.done; }, "cannot list the outputs");
    pa_operation_unref(op);
    if (ok && list.failed) return Fail("cannot list the outputs");
    return ok;
}

bool PulseAdmin::FindSink(const std::string& descriptionPart, Sink* sink) {
    std::vector<Sink> sinks;
    if (!ListSinks(&sinks)) return false;
    for (auto& s : sinks) {
        if (s.description.find(descriptionPart) != std::string::npos) {
            *sink = s;
            return true;
        }
    }
    m_error = "no output \"" + descriptionPart + "\" on the sound server";
    return false;
}

bool PulseAdmin::LoadModule(const std::string& name, const std::string& arguments, uint32_t* index) {
    Outcome o;
    auto callback = [](pa_context*, uint32_t idx, void* userdata) {
        auto* out = static_cast<Outcome*>(userdata);
        out->index = idx;
        out->ok = idx != PA_INVALID_INDEX;
        out->done = true;
    };
    pa_operation* op = pa_context_load_module(m_context, name.c_str(), arguments.c_str(), callback, &o);
    if (!op) return Fail("cannot load " + name);
    bool ok = RunUntil([&] { return o.done; }, "cannot load the module");
    pa_operation_unref(op);
    if (!ok) return false;
    if (!o.ok) return Fail("the sound server refused to load " + name);
    *index = o.index;
    return true;
}

bool PulseAdmin::UnloadModule(uint32_t index) {
    Outcome o;
    pa_operation* op = pa_context_unload_module(m_context, index, OnSuccess, &o);
    if (!op) return Fail("cannot unload the module");
    bool ok = RunUntil([&] { return o.done; }, "cannot unload the module");
    pa_operation_unref(op);
    if (ok && !o.ok) return Fail("the sound server refused to unload the module");
    return ok;
}

bool PulseAdmin::SetDefaultSink(const std::string& name) {
    Outcome o;
    pa_operation* op = pa_context_set_default_sink(m_context, name.c_str(), OnSuccess, &o);
    if (!op) return Fail("cannot set the default output");
    bool ok = RunUntil([&] { return o.done; }, "cannot set the default output");
    pa_operation_unref(op);
    if (ok && !o.ok) return Fail("the sound server refused the default output " + name);
    return ok;
}

bool PulseAdmin::DefaultSinkName(std::string* name) {
    Outcome o;
    auto callback = [](pa_context*, const pa_server_info* info, void* userdata) {
        auto* out = static_cast<Outcome*>(userdata);
        out->text = info && info->default_sink_name ? info->default_sink_name : "";
        out->ok = info != nullptr;
        out->done = true;
    };
    pa_operation* op = pa_context_get_server_info(m_context, callback, &o);
    if (!op) return Fail("cannot ask the sound server");
    bool ok = RunUntil([&] { return o.done; }, "cannot ask the sound server");
    pa_operation_unref(op);
    if (ok) *name = o.text;
    return ok && o.ok;
}

bool PulseAdmin::WatchChanges() {
    auto callback = [](pa_context*, pa_subscription_event_type_t type, uint32_t, void* userdata) {
        auto* self = static_cast<PulseAdmin*>(userdata);
        switch (type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) {
            case PA_SUBSCRIPTION_EVENT_SINK: ++self->m_sinkChanges; break;
            case PA_SUBSCRIPTION_EVENT_SERVER: ++self->m_serverChanges; break;
            default: break;
        }
    };
    pa_context_set_subscribe_callback(m_context, callback, this);
    Outcome o;
    pa_operation* op = pa_context_subscribe(
        m_context, static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SERVER), OnSuccess,
        &o);
    if (!op) return Fail("cannot watch the outputs");
    bool ok = RunUntil([&] { return o.done; }, "cannot watch the outputs");
    pa_operation_unref(op);
    if (ok && !o.ok) return Fail("the sound server refused to report changes");
    return ok;
}

void PulseAdmin::WakeOn(int fd) {
    if (fd == m_wakeFd || !m_loop) return;
    pa_mainloop_api* api = m_loop->Api();
    if (m_wake) api->io_free(m_wake);
    m_wake = nullptr;
    m_wakeFd = fd;
    // Nothing to do in the callback: the caller looks at what woke it.
    if (fd >= 0) m_wake = api->io_new(api, fd, PA_IO_EVENT_INPUT, [](pa_mainloop_api*, pa_io_event*, int, pa_io_event_flags_t, void*) {}, nullptr);
}

bool PulseAdmin::IsConnected() const {
    return m_context && pa_context_get_state(m_context) == PA_CONTEXT_READY;
}
