#pragma once
// What a call served from the bus knows about where it came from.
#include <string>

namespace ipc {

class ObjectTable;

struct CallContext {
    ObjectTable& table;
    // The unique bus name of the calling connection.
    std::string caller;
    // The path of the object the call was made on.
    std::string selfPath;
    // "interface.Method" of the call, for reports.
    std::string method;
};

}  // namespace ipc
