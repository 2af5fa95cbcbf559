#pragma once
// CRC-32C (the Castagnoli polynomial, reflected, as iSCSI and ext4 use it):
// the checksum that the data files carry of their record stream.
#include <cstddef>
#include <cstdint>

namespace ser {

// Continues a checksum over more bytes; start with crc 0. Crc32c(0, "123456789", 9) == 0xE3069283.
uint32_t Crc32c(uint32_t crc, const void* data, size_t bytes);

}  // namespace ser
