#include "service/foundation/DirUtils.h"

#include "platform/core/Text.h"
#include "platform/fs/File.h"

namespace dirUtils {

bool createDirRecursive(const std::u16string& path) { return plat::CreateDirectoryRecursive(path); }

}  // namespace dirUtils

KStr GetAppDataDir() {
    std::u16string root;
    if (!plat::GetAppDataRoot(&root)) {
        // Without a data folder the product folder falls back to the
        // temporary folder, so stored files still have a home.
        root = plat::GetTempDir();
    }
    KStr s(plat::WithTrailingSeparator(root).c_str());
    s.Append("Tonquil/");
    return s;
}
