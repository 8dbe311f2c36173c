#include "paths.h"

#include <filesystem>
#include <sys/stat.h>

namespace brennix {

namespace {

std::string WithSeparator(std::string folder) {
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

std::string ExecutableDir() {
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return WithSeparator(std::filesystem::current_path(error).string());
    return WithSeparator(exe.parent_path().string());
}

std::string& BaseDirStorage() {
    static std::string dir = ExecutableDir();
    return dir;
}

} // namespace

const std::string& BaseDir() {
    return BaseDirStorage();
}

void SetBaseDir(const std::string& folder) {
    BaseDirStorage() = WithSeparator(folder);
}

bool FileExists(const std::string& path) {
    struct stat info;
    return !path.empty() && ::stat(path.c_str(), &info) == 0;
}

} // namespace brennix
