#pragma once
#include <string>

#include "service/foundation/KStr.h"

namespace dirUtils {

// Creates every missing folder of the path; true when the path exists as a
// folder at the end.
bool createDirRecursive(const std::u16string& path);

}  // namespace dirUtils

// The product's folder under the machine-wide application-data folder, with a
// trailing separator ("<data>/Tonquil/"). The folder itself is not created here.
KStr GetAppDataDir();
