#include "driver/TonquilSink.h"

namespace tonquil_sink {

bool Find(PulseAdmin& server, PulseAdmin::Sink* sink, bool* present) {
    std::vector<PulseAdmin::Sink> sinks;
    if (!server.ListSinks(&sinks)) return false;
    *present = false;
    for (const auto& s : sinks) {
        if (s.name == kName || s.description == kDescription) {
            *sink = s;
            *present = true;
            break;
        }
    }
    return true;
}

bool Create(PulseAdmin& server, bool makeDefault, PulseAdmin::Sink* sink) {
    bool present = false;
    if (!Find(server, sink, &present)) return false;
    if (!present) {
        uint32_t module = 0;
        // The quotes as both servers read them: PipeWire's server splits a
        // single-quoted list at its spaces.
        const std::string args = std::string("sink_name=") + kName +
                                 " rate=48000 sink_properties=\"device.description='" + kDescription + "'\"";
        if (!server.LoadModule("module-null-sink", args, &module)) return false;
        if (!Find(server, sink, &present)) return false;
        if (!present) return server.Fail("the output did not appear");
    }
    return !makeDefault || server.SetDefaultSink(sink->name);
}

}  // namespace tonquil_sink
