#pragma once
// The output "Tonquil Audio Device" on the sound server: how the installer
// makes it, and how the driver stand-in finds it and puts it back after the
// server restarted.
#include <string>

#include "driver/PulseAdmin.h"

namespace tonquil_sink {

constexpr const char* kName = "tonquil";
constexpr const char* kDescription = "Tonquil Audio Device";

// Looks for the output by its name or its description; false only when the
// server cannot be asked (the message is the server's Error()).
bool Find(PulseAdmin& server, PulseAdmin::Sink* sink, bool* present);
// Makes the output (a 48 kHz null sink) unless it is there, and makes it the
// default output when asked; false with the message in server.Error().
bool Create(PulseAdmin& server, bool makeDefault, PulseAdmin::Sink* sink);

}  // namespace tonquil_sink
