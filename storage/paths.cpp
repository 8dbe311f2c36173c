#include "paths.h"

#include "paths_platform.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

// The system's own parts (the executable's folder, the per-user folder, what counts as
// installed) are in paths_posix.cpp and windows/paths.cpp.

namespace brennix {

namespace fs = std::filesystem;
using platform::WithSeparator;

namespace {

TDataPlace& Place() {
    static TDataPlace place{platform::ExecutableDir(), false, ""};
    return place;
}

} // namespace

const std::string& BaseDir() {
    return Place().Base;
}

void SetBaseDir(const std::string& folder) {
    Place() = TDataPlace{WithSeparator(folder), false, ""};
}

std::string ExecutableDir() {
    return platform::ExecutableDir();
}

bool FileExists(const std::string& path) {
    struct stat info;
    return !path.empty() && ::stat(path.c_str(), &info) == 0;
}

TDataPlace ChooseDataPlace(const std::string& executableDir,
                           const std::vector<std::string>& installBinDirs) {
    const fs::path folder = platform::Resolved(executableDir);
    const bool installed = platform::IsInstalled(folder, installBinDirs);
    const bool writable = platform::Writable(folder.string());
    const std::string perUser = platform::PerUserDir();
    if ((!installed && writable) || perUser.empty())
        return TDataPlace{WithSeparator(executableDir), false, ""};
    return TDataPlace{perUser, true, platform::SharedSoundsOf(folder)};
}

std::string UseDataPlaceOf(const std::string& executableDir) {
    TDataPlace place = ChooseDataPlace(executableDir);
    std::string problem;
    if (place.PerUser) {
        std::error_code ignored;
        // A data home made here is private, as the XDG rules ask; the program's folders are not.
        const fs::path dataHome = fs::path(place.Base).parent_path().parent_path();
        if (!fs::exists(dataHome, ignored) && fs::create_directories(dataHome, ignored))
            fs::permissions(dataHome, fs::perms::owner_all, fs::perm_options::replace, ignored);
        fs::create_directories(fs::path(place.Base) / "save", ignored);
        for (const std::string& folder : {place.Base, place.Base + "save"}) {
            if (platform::Writable(folder)) continue;
            problem = "Brennix cannot write its data folder " + folder + " (" +
                      std::strerror(errno) + "): settings and saves will not be kept.";
            break;
        }
    }
    Place() = std::move(place);
    return problem;
}

std::string SoundPath(const std::string& name) {
    const std::string own = BaseDir() + "sound/" + name;
    const std::string& shared = Place().SharedSounds;
    if (shared.empty() || FileExists(own) || !FileExists(shared + name)) return own;
    return shared + name;
}

// A folder with symbolic links, "." and ".." resolved as far as it exists.
fs::path platform::Resolved(const std::string& folder) {
    std::error_code error;
    fs::path path = fs::weakly_canonical(fs::path(folder), error);
    if (error) path = fs::path(folder).lexically_normal();
    if (path.has_relative_path() && !path.has_filename()) path = path.parent_path(); // no "/"
    return path;
}

} // namespace brennix
