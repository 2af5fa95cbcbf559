#pragma once
// The fuzz target of the record archive reader and the stored property forms.
#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fuzz {

// Inputs that reach every form: whole record streams as the service writes
// them, and texts for the property parsers.
std::vector<std::vector<uint8_t>> ArchiveSeeds();

}  // namespace fuzz
