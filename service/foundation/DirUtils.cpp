#include "service/foundation/DirUtils.h"

#include "platform/core/Text.h"
#include "platform/fs/File.h"

namespace dirUtils {

bool createDirRecursive(const std::u16string& path) {
    if (path.empty()) return false;
    if (plat::IsDirectory(path)) return true;
    size_t from = 1;
    for (;;) {
        size_t sep = path.find(plat::kPathSeparator, from);
        std::u16string prefix = sep == std::u16string::npos ? path : path.substr(0, sep + 1);
        if (!plat::CreateDirectory(prefix)) {
            if (!(plat::GetLastError() == ERROR_ALREADY_EXISTS && plat::IsDirectory(prefix))) return false;
        }
        if (sep == std::u16string::npos || sep + 1 >= path.size()) break;
        from = sep + 1;
    }
    return plat::IsDirectory(path);
}

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
