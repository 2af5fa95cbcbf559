#pragma once
// A virtual buffer that the virtual system's clock moves on.
#include <cstdint>

namespace plat {

class VirtualTickable {
public:
    virtual ~VirtualTickable() = default;
    // Time has moved on by us microseconds.
    virtual void Tick(uint64_t us) = 0;
};

}  // namespace plat
