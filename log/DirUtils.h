#pragma once
#include <string>

#include "log/KStr.h"
#include "platform/core/WinTypes.h"

namespace dirUtils {

// Creates every missing folder of the path; true when the path exists as a
// folder at the end.
bool createDirRecursive(const std::u16string& path);

// What keeps a folder from taking data.
enum class FolderFault { kNone, kCannotCreate, kCannotWrite };

struct FolderProbe {
    FolderFault fault = FolderFault::kNone;
    DWORD error = 0;    // the system's reason when there is a fault
    bool made = false;  // the folder did not exist before the probe
};

// Whether a folder takes data: every missing level is made, then a file named
// probeName is created in it and removed again. Only a file written shows it:
// modes do not stop every user, and some file systems refuse every write
// whatever their modes say. A folder made here is left in place.
FolderProbe probeFolder(const std::u16string& path, const std::u16string& probeName);

}  // namespace dirUtils

// The product's folder under the machine-wide application-data folder, with a
// trailing separator ("<data>/Tonquil/"). The folder itself is not created here.
KStr GetAppDataDir();
