#pragma once
// What the object table keeps of one interface exported at a path: the
// adaptor, destroyed to take the interface off the bus.
namespace ipc {

class ExportedInterface {
public:
    virtual ~ExportedInterface() = default;
};

// An event sink that emits an object's events as signals; Detach stops it
// before its adaptor goes away.
class SignalEmitter {
public:
    virtual ~SignalEmitter() = default;
    virtual void Detach() = 0;
};

}  // namespace ipc
