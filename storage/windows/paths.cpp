// The data place on Windows: %LOCALAPPDATA%\Brennix for the installed program, known by the
// uninstaller its installer leaves beside it; folders written with "\" (either separator works in
// the paths below them).
#include "storage/paths.h"
#include "storage/paths_platform.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <windows.h>

namespace brennix {

namespace fs = std::filesystem;

std::vector<std::string> InstallBinDirs() {
    return {}; // an installation is known by its uninstaller
}

namespace platform {

std::string WithSeparator(std::string folder) {
    std::replace(folder.begin(), folder.end(), '/', '\\');
    if (folder.empty() || folder.back() != '\\') folder += '\\';
    return folder;
}

std::string ExecutableDir() {
    char exe[MAX_PATH * 4] = {};
    const DWORD size = ::GetModuleFileNameA(nullptr, exe, sizeof exe);
    std::error_code error;
    if (size == 0 || size >= sizeof exe) return WithSeparator(fs::current_path(error).string());
    return WithSeparator(fs::path(std::string(exe, size)).parent_path().string());
}

// Windows decides by the folder's access rights, which access() does not read: a file is made
// there and goes again when closed.
bool Writable(const std::string& folder) {
    const std::string probe = WithSeparator(folder) + "brennix-write-test.tmp";
    const HANDLE file =
        ::CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                      FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        ::CloseHandle(file);
        return true;
    }
    const DWORD error = ::GetLastError();
    errno = error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_NOT_FOUND ? ENOENT : EACCES;
    return error == ERROR_FILE_EXISTS; // another start is looking right now
}

// %LOCALAPPDATA%\Brennix: the user's own data on this computer.
std::string PerUserDir() {
    const char* data = std::getenv("LOCALAPPDATA");
    if (data == nullptr || !fs::path(data).is_absolute()) return "";
    return WithSeparator(WithSeparator(data) + "Brennix");
}

bool IsInstalled(const fs::path& folder, const std::vector<std::string>&) {
    return FileExists((folder / "uninstall.exe").string());
}

// The installed caller voice lies in "sound" beside the program.
std::string SharedSoundsOf(const fs::path& folder) {
    return WithSeparator((folder / "sound").string());
}

} // namespace platform

} // namespace brennix
