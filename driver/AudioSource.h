#pragma once
// Where the driver stand-in takes its sound from. A source hands out chunks
// of about 10 ms in real time, in the format it announces.
#include <string>
#include <vector>

#include "ipc/QXServiceLib.h"
#include "platform/core/Sync.h"

class AudioSource {
public:
    enum class ReadResult { Data, End, Stopped, Failed };

    virtual ~AudioSource() = default;
    // Gets ready to deliver; false with a message for the user.
    virtual bool Open(std::string* error) = 0;
    virtual const OWAVEFORMATEX& Format() const = 0;
    // The next chunk, when it is due. Returns Stopped as soon as `stop` is set.
    virtual ReadResult Read(std::vector<BYTE>* chunk, plat::Event& stop, std::string* error) = 0;
    virtual void Close() {}
};
