// Every file the program uses lies below the folder of its executable.
#pragma once

#include <string>

namespace brennix {

// The executable's folder with a trailing "/". Tests point it at a folder of their own.
const std::string& BaseDir();
void SetBaseDir(const std::string& folder);

// Whether something of that name exists (a file, or anything else that would occupy the name).
bool FileExists(const std::string& path);

} // namespace brennix
