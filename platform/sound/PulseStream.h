#pragma once
// One PulseAudio stream of a buffer, served by a pump thread of its own with
// a connection of its own. The pump connects the stream (never moving it to
// another device), then turns the connection's loop: it applies the buffer's
// cork and flush requests and lets the buffer move data once a turn. A stream
// that fails, or whose device disappears, is lost for good: the buffer is no
// longer asked to move data, so its cursors stop where they are.
//
// When the server itself goes away (a restart), the buffer runs on as a device
// that plays into nothing or records silence, and the pump connects a new
// stream to the same device as soon as the server answers again; a device
// that has not come back a few seconds after the server counts as gone. The
// gap is told once when it begins and once when it ends (SoundNotice).
//
// The buffer's own lock guards the stream's state too; the buffer keeps the
// stream as its last member, so that the pump ends before anything it serves.
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/core/Sync.h"
#include "platform/core/Thread.h"
#include "platform/sound/SoundTypes.h"

struct pa_stream;

namespace plat {

class PulseConnection;

class PulseStream {
public:
    // What the buffer does with its stream.
    class Owner {
    public:
        virtual ~Owner() = default;
        // Connects the new stream to the device (null: the server's default)
        // with at least the given flags (pa_stream_flags_t); the connect
        // call's result. On the pump thread, without the lock.
        virtual int ConnectStream(pa_stream* stream, const char* device, unsigned flags) = 0;
        // Whether data flows now (the pump turns faster then). Under the lock.
        virtual bool Running() const = 0;
        // One turn's data, with the stream ready and its cork state applied;
        // false when the stream turns out broken. Under the lock.
        virtual bool Move(pa_stream* stream) = 0;
        // While the server is away: 'us' microseconds have passed as they
        // would on a device without sound. Under the lock.
        virtual void Away(uint64_t us) = 0;
        // A new stream replaces the one the server took with it; it holds
        // nothing yet. Under the lock.
        virtual void Reopened() = 0;
        // Moves the notifications that Move and Away passed into *due, to be
        // set once the lock is let go. Under the lock.
        virtual void TakeDue(std::vector<std::shared_ptr<Event>>* due) = 0;
    };

    PulseStream(Owner& owner, std::mutex& lock, std::string device, const WaveFormat& format, const char* streamName,
                const char* threadName);
    // Ends the pump, and with it the stream and the connection.
    ~PulseStream();
    PulseStream(const PulseStream&) = delete;
    PulseStream& operator=(const PulseStream&) = delete;

    // Starts the pump and waits until the stream is ready (S_OK) or has failed.
    HRESULT Open();
    // Makes the pump act on new requests at once. Without the lock.
    void Wake();

    // Requests, made under the lock and carried out in the pump's next turn:
    // cork or uncork the stream; drop what the server still holds.
    void SetCorked(bool corked) { m_corkWanted = corked; }
    void Flush() { m_flushWanted = true; }

    // While the server is away, how often the pump asks it again.
    static constexpr DWORD kReconnectMs = 250;
    // How long a device may take to come back once its server answers again.
    static constexpr DWORD kDeviceReturnMs = 5000;

private:
    // Asks the pump to end, waking whatever wait it is in.
    void Stop();
    HRESULT Pump();
    // Connects and makes the stream ready; the stream is null on failure.
    HRESULT OpenStream(PulseConnection& connection, pa_stream** stream);
    // Serves a ready stream until the pump is asked to end or the stream is
    // lost; whether the connection to the server is still up.
    bool Serve(PulseConnection& connection, pa_stream* stream);
    // Runs the buffer without a server for up to waitMs; false when asked to end.
    bool RunAway(DWORD waitMs);
    void Service(pa_stream* stream);
    // Sets the notifications taken from the buffer; without the lock.
    void SetDue();
    static void OnStreamState(pa_stream* stream, void* self);
    static void OnUnderflow(pa_stream* stream, void* self);
    // Takes the callbacks off, disconnects and lets the stream go.
    static void CloseStream(pa_stream* stream);
    // The device as the log names it.
    std::u16string DeviceLabel() const;

    Owner& m_owner;
    std::mutex& m_lock;
    const std::string m_device;
    const WaveFormat m_format;
    const std::string m_streamName;
    const std::string m_threadName;

    // Under m_lock.
    bool m_lost = false;
    bool m_corkWanted = true;
    bool m_corked = true;
    bool m_flushWanted = false;
    PulseConnection* m_connection = nullptr;

    std::vector<std::shared_ptr<Event>> m_due;  // the pump's own

    // The pump's own: the times the server ran out of the stream's sound,
    // told at most once in kUnderrunNoticeMs (the first at once).
    uint64_t m_underruns = 0;
    uint64_t m_underrunsTold = 0;
    std::chrono::steady_clock::time_point m_underrunToldAt{};

    bool m_away = false;  // the server went away; the buffer runs without it
    std::chrono::steady_clock::time_point m_awayTurn;

    std::atomic<bool> m_quit{false};
    Event m_stop{Event::Reset::Manual};  // set with m_quit; ends the connection's waits
    Event m_wake{Event::Reset::Auto};  // wakes the pump while it has no connection
    Event m_ready{Event::Reset::Manual};
    HRESULT m_openResult = E_FAIL;
    Thread m_pump;
};

// The pump's period in bytes: ~10 ms of the format, at least one block.
DWORD PulsePeriodBytes(const WaveFormat& format);
// The fragment a record stream asks for: 1024 frames at 48 kHz (21.3 ms),
// PipeWire's default quantum. A smaller request makes PipeWire run its whole
// graph at a smaller quantum, where every client, ours and others, starves
// more easily; PulseAudio only takes it as the fragments' size.
DWORD PulseFragmentBytes(const WaveFormat& format);
// Whether a buffer of the format and size can be streamed: S_OK,
// DSERR_BADFORMAT, or E_INVALIDARG for a size that is not at least four
// whole blocks.
HRESULT PulseCheckBuffer(const WaveFormat& format, DWORD bytes);

}  // namespace plat
