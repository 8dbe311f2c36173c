// Every file the program uses lies below one base folder: the executable's own folder for a copy
// run from a folder of its own, or the per-user data folder for the installed program.
#pragma once

#include <string>
#include <vector>

namespace brennix {

// The base folder with a trailing "/". Tests point it at a folder of their own.
const std::string& BaseDir();
void SetBaseDir(const std::string& folder);

// The running executable's folder, with the separator at its end.
std::string ExecutableDir();

// Whether something of that name exists (a file, or anything else that would occupy the name).
bool FileExists(const std::string& path);

// Where the program keeps the settings file, "save" and "sound".
struct TDataPlace {
    std::string Base;         // with a trailing "/"
    bool PerUser = false;     // the per-user data folder rather than the executable's folder
    std::string SharedSounds; // the installation's own "sound" folder ("/" at the end), or ""
};

// The bin folders the program is built to be installed into: the configured prefix's and the
// Debian package's.
std::vector<std::string> InstallBinDirs();

// Decides where the files of an executable in `executableDir` live; creates nothing.
// A copy anywhere but its install location keeps its files beside itself, as long as the user may
// write that folder. The installed program (its folder is one of `installBinDirs`, or the
// installation's metadata lies in ../share/metainfo beside it) and any copy in a folder the user
// cannot write use $XDG_DATA_HOME/brennix; an unset or relative XDG_DATA_HOME means
// $HOME/.local/share. Score sounds missing there come from the installation's share/brennix/sound.
TDataPlace ChooseDataPlace(const std::string& executableDir,
                           const std::vector<std::string>& installBinDirs = InstallBinDirs());

// Chooses the place for the running program (see ChooseDataPlace) and makes it the base folder.
// The per-user folder and its "save" are created when missing. Returns what keeps the program
// from writing there (for a warning at start-up, since a lost settings file says nothing), or ""
// when all is well.
std::string UseDataPlaceOf(const std::string& executableDir);

// The path of a file of the "sound" folder: BaseDir() + "sound/" + name, unless no such file
// exists and the installation's shared sound folder has one.
std::string SoundPath(const std::string& name);

} // namespace brennix
