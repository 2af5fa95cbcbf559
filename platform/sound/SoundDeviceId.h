#pragma once
// Stable device identities: a GUID derived from a device's server-side name
// and its description, so that the same device keeps its GUID across
// enumerations and restarts.
#include <string_view>

#include "platform/com/Guid.h"

namespace plat {

GUID StableDeviceGuid(std::string_view name, std::u16string_view description);

}  // namespace plat
