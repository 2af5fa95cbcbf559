#pragma once
// Where the driver's named objects live. A device "\\.\NAME" is the Unix
// socket NAME in the runtime folder, so that each session (each user, each
// private test environment) has its own devices, as named kernel objects are
// private to a session.
#include <string>
#include <string_view>

namespace plat::drv {

// $TONQUIL_RUNTIME_DIR, else $XDG_RUNTIME_DIR, else /tmp; or the folder set below.
std::string RuntimeDir();
// Puts this process's objects into another folder (tests use a folder of their
// own); an empty text goes back to the environment's folder.
void SetRuntimeDir(std::string dir);

// The socket path of a device path ("\\.\ParvaneAD" or "ParvaneAD"). False
// with the last error set (ERROR_INVALID_NAME, ERROR_FILENAME_EXCED_RANGE).
bool DeviceSocketPath(std::u16string_view devicePath, std::string* socketPath);

}  // namespace plat::drv
