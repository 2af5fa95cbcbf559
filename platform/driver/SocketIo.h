#pragma once
// Small blocking helpers over a stream socket, each bounded by a time-out.
#include "platform/core/WinTypes.h"

namespace plat::drv::io {

// Sends all bytes (never raises SIGPIPE). False with the last error set.
bool SendAll(int fd, const void* data, size_t bytes, DWORD timeoutMs);
// Receives exactly `bytes`. False with the last error set: ERROR_BROKEN_PIPE
// when the peer closed, ERROR_TIMEOUT when nothing came in time.
bool ReceiveAll(int fd, void* data, size_t bytes, DWORD timeoutMs);
// Sends one little-endian 32-bit word / receives one.
bool SendWord(int fd, DWORD value, DWORD timeoutMs);
bool ReceiveWord(int fd, DWORD* value, DWORD timeoutMs);
// The same with a descriptor travelling along (SCM_RIGHTS). The receiver gets
// it in *passed, or -1 when none came; any further descriptors are closed.
bool SendWordWithDescriptor(int fd, DWORD value, int passed, DWORD timeoutMs);
bool ReceiveWordWithDescriptor(int fd, DWORD* value, int* passed, DWORD timeoutMs);

}  // namespace plat::drv::io
