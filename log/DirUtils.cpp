#include "log/DirUtils.h"

#include "platform/core/LastError.h"
#include "platform/core/Text.h"
#include "platform/fs/File.h"

namespace dirUtils {

bool createDirRecursive(const std::u16string& path) { return plat::CreateDirectoryRecursive(path); }

FolderProbe probeFolder(const std::u16string& path, const std::u16string& probeName) {
    FolderProbe result;
    // A failure with no reason of its own still is one.
    auto fault = [&](FolderFault kind) {
        result.fault = kind;
        result.error = plat::GetLastError() ? plat::GetLastError() : ERROR_GEN_FAILURE;
        return result;
    };
    result.made = !plat::IsDirectory(path);
    if (!createDirRecursive(path)) return fault(FolderFault::kCannotCreate);
    const std::u16string probe = plat::WithTrailingSeparator(path) + probeName;
    {
        plat::File file;
        if (!file.Open(probe, plat::FileAccess::Write, plat::FileCreation::CreateAlways, plat::ShareNone))
            return fault(FolderFault::kCannotWrite);
    }
    plat::DeleteFile(probe);
    return result;
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
