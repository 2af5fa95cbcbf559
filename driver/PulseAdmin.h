#pragma once
// A small synchronous client of the sound server: connect, list the outputs,
// load and unload modules, set the default output. Every step is bounded by
// a time-out. The connection also serves record streams (see
// PulseMonitorSource), which run on the same loop through Iterate.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct pa_context;
struct pa_io_event;
namespace plat {
class PulseLoop;
}

class PulseAdmin {
public:
    struct Sink {
        std::string name;
        std::string description;
        std::string monitorSource;
        uint32_t ownerModule = 0;
    };

    explicit PulseAdmin(int timeoutMs = 5000);
    ~PulseAdmin();
    PulseAdmin(const PulseAdmin&) = delete;
    PulseAdmin& operator=(const PulseAdmin&) = delete;

    // Connects to the session's server (never starts one).
    bool Connect(const char* clientName);
    bool ListSinks(std::vector<Sink>* sinks);
    // The first output whose description contains the text.
    bool FindSink(const std::string& descriptionPart, Sink* sink);
    bool LoadModule(const std::string& name, const std::string& arguments, uint32_t* index);
    bool UnloadModule(uint32_t index);
    bool SetDefaultSink(const std::string& name);
    bool DefaultSinkName(std::string* name);

    // From now on counts the server's news about outputs (one appeared, went
    // or changed) and about the server itself (its default output changed).
    bool WatchChanges();
    uint64_t SinkChanges() const { return m_sinkChanges; }
    uint64_t ServerChanges() const { return m_serverChanges; }
    // Makes Iterate return as soon as fd polls readable (an event's descriptor).
    void WakeOn(int fd);
    bool IsConnected() const;

    // Runs the loop once, waiting at most maxWaitMs (< 0: no limit) for
    // something to happen.
    bool Iterate(int maxWaitMs);
    // Runs the loop until `done` holds; false (with a message) when the
    // connection fails or the time-out passes first.
    bool RunUntil(const std::function<bool()>& done, const char* what);
    pa_context* Context() const { return m_context; }
    const std::string& Error() const { return m_error; }

    bool Fail(const std::string& what);

private:
    int m_timeoutMs;
    std::unique_ptr<plat::PulseLoop> m_loop;
    pa_context* m_context = nullptr;
    pa_io_event* m_wake = nullptr;
    int m_wakeFd = -1;
    uint64_t m_sinkChanges = 0;
    uint64_t m_serverChanges = 0;
    std::string m_error;
};
