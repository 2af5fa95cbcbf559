#pragma once
// For tests that run against the private sound server of scripts/testenv:
// whether a server answers, and what the server's own tools say.
#include <string>
#include <vector>

namespace soundtest {

// Whether PULSE_SERVER names a server that answers (tests skip otherwise).
bool SoundServerAnswers();
// What a shell command prints on its standard output.
std::string Shell(const std::string& command);
// The "Description:" values of `pactl list <what>` (sinks, sources), in
// order; with defaultFirst, the server's default device's first.
std::vector<std::u16string> PactlDescriptions(const char* what, bool defaultFirst = false);

}  // namespace soundtest
