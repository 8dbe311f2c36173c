// What choosing the data place asks of the system, one file per system: paths_posix.cpp and
// windows/paths.cpp. Only paths.cpp uses these.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace brennix::platform {

// The folder with the system's separator at its end.
std::string WithSeparator(std::string folder);

// The running executable's folder, with the separator at its end.
std::string ExecutableDir();

// Whether the user may make files in the folder; when not, errno says why.
bool Writable(const std::string& folder);

// The per-user data folder, with the separator at its end; "" when the system names none.
std::string PerUserDir();

// Whether the resolved folder is one an installation put the program in.
bool IsInstalled(const std::filesystem::path& folder,
                 const std::vector<std::string>& installBinDirs);

// The installation's own sound folder for the program in the resolved folder, or "".
std::string SharedSoundsOf(const std::filesystem::path& folder);

// A folder with symbolic links, "." and ".." resolved as far as it exists (paths.cpp).
std::filesystem::path Resolved(const std::string& folder);

} // namespace brennix::platform
