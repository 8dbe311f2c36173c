// The data place on Linux: the executable found through /proc, $XDG_DATA_HOME/brennix, and an
// installation known by its bin folder or its metadata.
#include "paths.h"
#include "paths_platform.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

// BRENNIX_INSTALL_BINDIR, BRENNIX_PACKAGE_BINDIR and BRENNIX_APP_ID come from the build
// (storage/CMakeLists.txt): the bin folder of the configured install prefix, the Debian package's
// bin folder, and the application's id that names its desktop entry and metadata.

namespace brennix {

namespace fs = std::filesystem;

namespace {

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

} // namespace

std::vector<std::string> InstallBinDirs() {
    return {BRENNIX_INSTALL_BINDIR, BRENNIX_PACKAGE_BINDIR};
}

namespace platform {

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

bool Writable(const std::string& folder) {
    return ::access(folder.c_str(), W_OK) == 0;
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

// PREFIX/share/brennix/sound beside PREFIX/bin.
std::string SharedSoundsOf(const fs::path& folder) {
    if (folder.filename() != "bin") return "";
    return WithSeparator((folder.parent_path() / "share" / "brennix" / "sound").string());
}

} // namespace platform

} // namespace brennix
