// The settings file "brnx3p.dat" beside the executable: one raw image of TSettings.
#pragma once

#include "engine/state.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace brennix {

inline constexpr size_t SettingsFileSize = 8956;
inline constexpr size_t OutshotsOffset = 12;
inline constexpr size_t NamesOffset = 8733;
inline constexpr size_t SoundOffset = 8949;
inline constexpr size_t KeepSaveFilesOffset = 8952;

using TSettingsImage = std::array<uint8_t, SettingsFileSize>;

// The record image: little-endian int32, one-byte booleans, short strings, no padding.
TSettingsImage EncodeSettings(const TSettings& settings);
// Reads an image back. Length bytes above a capacity are cut to it; everything else is taken as
// it stands (ranges are the reader's business, see LoadSettings).
TSettings DecodeSettings(std::span<const uint8_t, SettingsFileSize> image);

// What a first run presents: two players, "  501 Double Out", "Best of 1 Set", autosave on and
// its files deleted at exit down to ten, sound off, the standard checkout table.
TSettings FirstRunSettings();

std::string SettingsPath();

// The settings a file's bytes give: no bytes at all give the first-run settings; fewer than a
// record replace only the leading bytes of `current`; a player count outside 1-8 becomes 2.
TSettings SettingsFromFile(std::span<const uint8_t> bytes, const TSettings& current);

// Reads the settings file into Settings. Nothing is ever reported. A file that is missing,
// empty or cannot be opened for reading and writing gives the first-run settings; a shorter one
// replaces only as many leading bytes as it holds. A player count outside 1-8 becomes 2.
void LoadSettings();

// Writes Settings to the settings file (8956 bytes), replacing the old file only when the new
// one is complete. Nothing is ever reported.
void SaveSettings();

} // namespace brennix
