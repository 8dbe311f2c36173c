// Game files: the settings, the eight player records and the four turn indices in one record of
// 14516 bytes; saving, loading and "Save Game As".
#pragma once

#include "engine/state.h"
#include "settings_file.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace brennix {

inline constexpr size_t GameFileSize = 14516;
inline constexpr size_t PlayersOffset = SettingsFileSize;       // 8956
inline constexpr size_t PlayerRecordSize = PlayerSlotCount * 4; // 692
inline constexpr size_t TurnOffset = 14496;

struct TGameFileRecord {
    TSettings Settings;
    std::array<TPlayerStats, MaxPlayers> Players{};
    int32_t ActivePlayer = 0;
    int32_t LegStarter = 0;
    int32_t NextLegStarter = 0;
    int32_t NextSetStarter = 0;
};

using TGameImage = std::array<uint8_t, GameFileSize>;

// The record as it is written: reserved fields zero.
TGameImage EncodeGameRecord(const TGameFileRecord& record);
// Reads an image back. Refuses (EBrennixError "'<name>' is not a valid game file") a record whose
// player count lies outside 1-8; cuts length bytes to the capacity and brings the turn indices
// into the players in play.
TGameFileRecord DecodeGameRecord(std::span<const uint8_t, GameFileSize> image,
                                 const std::string& name);
// The game a file's bytes give: fewer than 14516 bytes raise EInOutError "Read beyond end of
// file", only the first 14516 are read, and the record is checked as DecodeGameRecord does.
TGameFileRecord GameFromFile(std::span<const uint8_t> bytes, const std::string& name);

// A game file for a program that only looks at it: read as ReadRegularFile reads, only the
// record's bytes, and decoded as DecodeGameRecord does. A refusal raises EBrennixError whose text
// is the reason: the input/output error ("File not found", ...), "not a regular file", "not a
// game file: 100 bytes, a game file has 14516" or "not a game file: player count 9, not 1-8".
TGameFileRecord ReadGameFileReadOnly(const std::string& path);

// The game as it stands now.
TGameFileRecord CurrentGame();
// Makes a loaded game the current one: settings, players and turn indices, the start score of
// its game type, and the tie-break state its legs and sets stand for (the file has no flags).
// The last leg's result, another game's, is dropped.
void ApplyGame(const TGameFileRecord& record);

// Writes the game to GameFileName, or to the lowest free autosave slot when there is none.
// Raises EInOutError; a failure leaves the previous file, the file panel and the countdown as
// they were.
void SaveGameFile();

// "&Load Game": the open dialog proposes the current file or the newest slot; a confirmed,
// existing file is loaded. Cancelling changes nothing.
void LoadGameFile();

// "Save Game &As": the save dialog, a refusal of the autosave slots' names, then SaveGameFile.
void SaveAs1Click();

} // namespace brennix
