#include "game_file.h"

#include "autosave.h"
#include "bytes.h"
#include "engine/errors.h"
#include "engine/match_events.h"
#include "engine/operations.h"
#include "engine/rules.h"
#include "file_io.h"
#include "paths.h"

#include <algorithm>

namespace brennix {

namespace {

// The 165 int32 slots of a player record after its 32 reserved bytes, in file order.
template <class Record, class Visit>
void ForEachSlot(Record& p, Visit visit) {
    for (auto& entry : p.History)
        visit(entry);
    for (auto& entry : p.WonLegDarts)
        visit(entry);
    for (auto* field : {&p.PrevRemaining, &p.Remaining, &p.Points, &p.Legs, &p.Sets, &p.Count40,
                        &p.Count60, &p.Count100, &p.Count140, &p.Count180, &p.LegAverage,
                        &p.MatchAverage, &p.PrevLegDarts, &p.DartsLeg, &p.DartsMatch})
        visit(*field);
}

void EncodePlayer(const TPlayerStats& player, uint8_t* at) {
    std::copy(std::begin(player.Reserved), std::end(player.Reserved), at);
    uint8_t* slot = at + sizeof(player.Reserved);
    ForEachSlot(player, [&](const int32_t& value) {
        PutInt32(slot, value);
        slot += 4;
    });
}

void DecodePlayer(const uint8_t* at, TPlayerStats& player) {
    std::copy(at, at + sizeof(player.Reserved), std::begin(player.Reserved));
    const uint8_t* slot = at + sizeof(player.Reserved);
    ForEachSlot(player, [&](int32_t& value) {
        value = GetInt32(slot);
        slot += 4;
    });
}

// A game file holds one to eight players.
bool IsPlayerCount(int32_t count) {
    return count >= 1 && count <= MaxPlayers;
}

// A loaded game carries no tie-break flags; they follow from the legs and sets it holds. The
// deciding set between two players, both one set short, is a tie-break from two legs all.
void RestoreTieBreak() {
    const TPlayerStats& one = Players[0];
    const TPlayerStats& two = Players[1];
    const int64_t format = Settings.MatchFormat;
    TieBreakSet = Settings.PlayerCount == 2 && format == int64_t{one.Sets} + 3 &&
                  format == int64_t{two.Sets} + 3 && one.Legs >= 2 && two.Legs >= 2;
    SetDecided = false;
    if (!TieBreakSet)
        SetSpecialText("");
    else if (one.Legs >= 5 && two.Legs >= 5)
        SetSpecialText(std::string(SuddenDeathText));
    else
        SetSpecialText(std::string(TieBreakText));
}

// The newest slot that exists, or slot 100 when there is none.
std::string NewestSlot() {
    for (int n = LastSlot; n >= FirstSlot; --n)
        if (FileExists(SlotPath(n))) return SlotPath(n);
    return SlotPath(FirstSlot);
}

} // namespace

TGameImage EncodeGameRecord(const TGameFileRecord& record) {
    TGameImage image{};
    const TSettingsImage settings = EncodeSettings(record.Settings);
    std::copy(settings.begin(), settings.end(), image.begin());
    for (int n = 0; n < MaxPlayers; ++n)
        EncodePlayer(record.Players[n], &image[PlayersOffset + n * PlayerRecordSize]);
    PutInt32(&image[TurnOffset], record.ActivePlayer);
    PutInt32(&image[TurnOffset + 4], record.LegStarter);
    PutInt32(&image[TurnOffset + 8], record.NextLegStarter);
    PutInt32(&image[TurnOffset + 12], record.NextSetStarter);
    return image;
}

TGameFileRecord DecodeGameRecord(std::span<const uint8_t, GameFileSize> image,
                                 const std::string& name) {
    TGameFileRecord record;
    record.Settings = DecodeSettings(image.first<SettingsFileSize>());
    const int32_t count = record.Settings.PlayerCount;
    if (!IsPlayerCount(count)) throw EBrennixError("'" + name + "' is not a valid game file");
    for (int n = 0; n < MaxPlayers; ++n)
        DecodePlayer(&image[PlayersOffset + n * PlayerRecordSize], record.Players[n]);
    auto turn = [&](size_t offset) { return std::clamp(GetInt32(&image[offset]), 0, count - 1); };
    record.ActivePlayer = turn(TurnOffset);
    record.LegStarter = turn(TurnOffset + 4);
    record.NextLegStarter = turn(TurnOffset + 8);
    record.NextSetStarter = turn(TurnOffset + 12);
    return record;
}

TGameFileRecord GameFromFile(std::span<const uint8_t> bytes, const std::string& name) {
    if (bytes.size() < GameFileSize) throw EInOutError(IoReadBeyondEnd);
    return DecodeGameRecord(bytes.first<GameFileSize>(), name);
}

TGameFileRecord ReadGameFileReadOnly(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadRegularFile(path, GameFileSize);
    if (bytes.size() < GameFileSize)
        throw EBrennixError("not a game file: " + std::to_string(bytes.size()) +
                            " bytes, a game file has " + std::to_string(GameFileSize));
    const int32_t count = GetInt32(bytes.data()); // the settings' first field
    if (!IsPlayerCount(count))
        throw EBrennixError("not a game file: player count " + std::to_string(count) + ", not 1-" +
                            std::to_string(MaxPlayers));
    return GameFromFile(bytes, path);
}

TGameFileRecord CurrentGame() {
    return {Settings, Players, ActivePlayer, LegStarter, NextLegStarter, NextSetStarter};
}

void ApplyGame(const TGameFileRecord& record) {
    Settings = record.Settings;
    Players = record.Players;
    ActivePlayer = record.ActivePlayer;
    LegStarter = record.LegStarter;
    NextLegStarter = record.NextLegStarter;
    NextSetStarter = record.NextSetStarter;
    StartScore = StartScoreFor(Settings.GameType);
    RestoreTieBreak();
    LastResult.reset();
}

void SaveGameFile() {
    if (GameFileName.empty()) GameFileName = LowestFreeSlot();
    WriteRecordFile(GameFileName, EncodeGameRecord(CurrentGame()));
    LastGameFileName = GameFileName;
    AnnounceMatchEvent([path = GameFileName](TMatchObserver& observer) {
        observer.GameSaved(path, MatchClock());
    });
    Ops->ShowFilePath(GameFileName);
    Ops->SetProgressPosition(0);
}

void LoadGameFile() {
    std::optional<std::string> chosen;
    {
        // No autosave while the dialog is open: it would land in the proposed slot.
        TAutosaveHold hold;
        chosen = Ops->RunOpenDialog(GameFileName.empty() ? NewestSlot() : GameFileName, BaseDir());
    }
    if (!chosen) return; // cancelled: nothing changes

    const std::string before = GameFileName;
    GameFileName = *chosen;
    if (!GameFileName.empty() && FileExists(GameFileName)) {
        TGameFileRecord record;
        try {
            record = GameFromFile(ReadRecordFile(GameFileName, GameFileSize), GameFileName);
        } catch (...) {
            // Nothing may later be saved into a file that failed to load.
            GameFileName = before;
            throw;
        }
        LastGameFileName = GameFileName;
        AnnounceMatchEvent([](TMatchObserver& observer) {
            observer.MatchAbandoned(TAbandonReason::GameLoaded, MatchClock());
        });
        ApplyGame(record);
        AnnounceMatchEvent([path = GameFileName](TMatchObserver& observer) {
            TMatchInfo info = CurrentMatchInfo();
            info.Starter = -1; // a game file does not say who began
            observer.GameLoaded(path, info, MatchClock());
        });
        ShowActivePlayer();
        Ops->RefreshBoard();
    }
    // A name that does not exist (yet) becomes the current file; the next save creates it.
    Ops->ShowFilePath(GameFileName);
    Ops->SetProgressPosition(0);
}

void SaveAs1Click() {
    LastGameFileName = GameFileName;
    {
        TAutosaveHold hold;
        GameFileName = Ops->RunSaveDialog(GameFileName, BaseDir()).value_or(GameFileName);
        // The autosave slots are the program's own; an operator's file never takes their names.
        if (!GameFileName.empty() && IsSlotPath(GameFileName)) {
            Ops->ShowMessage(TMessageKind::Information, "SaveFileName not allowed ");
            GameFileName = LastGameFileName;
            return;
        }
    }
    SaveGameFile();
}

} // namespace brennix
