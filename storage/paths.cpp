#include "paths.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

// BRENNIX_INSTALL_BINDIR, BRENNIX_PACKAGE_BINDIR and BRENNIX_APP_ID come from the build
// (storage/CMakeLists.txt): the bin folder of the configured install prefix, the Debian package's
// bin folder, and the application's id that names its desktop entry and metadata.

namespace brennix {

namespace fs = std::filesystem;

namespace {

std::string WithSeparator(std::string folder) {
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

std::string ExecutableDir() {
    std::error_code error;
    const fs::path exe = fs::read_symlink("/proc/self/exe", error);
    if (error) return WithSeparator(fs::current_path(error).string());
    return WithSeparator(exe.parent_path().string());
}

TDataPlace& Place() {
    static TDataPlace place{ExecutableDir(), false, ""};
    return place;
}

// A folder with symbolic links, "." and ".." resolved as far as it exists.
fs::path Resolved(const std::string& folder) {
    std::error_code error;
    fs::path path = fs::weakly_canonical(fs::path(folder), error);
    if (error) path = fs::path(folder).lexically_normal();
    if (path.has_relative_path() && !path.has_filename()) path = path.parent_path(); // no "/"
    return path;
}

// An environment variable's value when it is an absolute path, else "".
std::string AbsoluteFromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] == '/' ? value : "";
}

std::string HomeDir() {
    std::string home = AbsoluteFromEnvironment("HOME");
    if (!home.empty()) return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr && found->pw_dir[0] == '/')
        home = found->pw_dir;
    return home;
}

// $XDG_DATA_HOME/brennix, or $HOME/.local/share/brennix; "" without an absolute home.
std::string PerUserDir() {
    std::string data = AbsoluteFromEnvironment("XDG_DATA_HOME");
    if (data.empty()) {
        const std::string home = HomeDir();
        if (home.empty()) return "";
        data = WithSeparator(home) + ".local/share";
    }
    return WithSeparator(WithSeparator(data) + "brennix");
}

bool IsInstalled(const fs::path& folder, const std::vector<std::string>& installBinDirs) {
    for (const std::string& binDir : installBinDirs)
        if (!binDir.empty() && Resolved(binDir) == folder) return true;
    const fs::path metadata =
        folder.parent_path() / "share" / "metainfo" / (BRENNIX_APP_ID ".metainfo.xml");
    return folder.filename() == "bin" && FileExists(metadata.string());
}

} // namespace

const std::string& BaseDir() {
    return Place().Base;
}

void SetBaseDir(const std::string& folder) {
    Place() = TDataPlace{WithSeparator(folder), false, ""};
}

bool FileExists(const std::string& path) {
    struct stat info;
    return !path.empty() && ::stat(path.c_str(), &info) == 0;
}

std::vector<std::string> InstallBinDirs() {
    return {BRENNIX_INSTALL_BINDIR, BRENNIX_PACKAGE_BINDIR};
}

TDataPlace ChooseDataPlace(const std::string& executableDir,
                           const std::vector<std::string>& installBinDirs) {
    const fs::path folder = Resolved(executableDir);
    const bool installed = IsInstalled(folder, installBinDirs);
    const bool writable = ::access(folder.c_str(), W_OK) == 0;
    const std::string perUser = PerUserDir();
    if ((!installed && writable) || perUser.empty())
        return TDataPlace{WithSeparator(executableDir), false, ""};

    std::string shared;
    if (folder.filename() == "bin")
        shared = WithSeparator((folder.parent_path() / "share" / "brennix" / "sound").string());
    return TDataPlace{perUser, true, shared};
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
            if (::access(folder.c_str(), W_OK) == 0) continue;
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

} // namespace brennix
