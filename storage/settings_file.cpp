#include "settings_file.h"

#include "bytes.h"
#include "checkout_table.h"
#include "engine/errors.h"
#include "file_io.h"
#include "paths.h"

#include <algorithm>

namespace brennix {

namespace {

constexpr size_t OutshotSize = 1 + OutshotCapacity; // 51
constexpr size_t NameSize = 1 + NameCapacity;       // 27
constexpr int32_t FirstRunPlayers = 2;

} // namespace

TSettingsImage EncodeSettings(const TSettings& settings) {
    TSettingsImage image{};
    PutInt32(&image[0], settings.PlayerCount);
    PutInt32(&image[4], settings.MatchFormat);
    PutInt32(&image[8], settings.GameType);
    for (int k = 0; k < OutshotCount; ++k)
        PutShortString(&image[OutshotsOffset + k * OutshotSize], settings.Outshots[k],
                       OutshotCapacity);
    for (int n = 0; n < MaxPlayers; ++n)
        PutShortString(&image[NamesOffset + n * NameSize], settings.PlayerNames[n], NameCapacity);
    image[SoundOffset] = settings.Sound ? 1 : 0;
    image[SoundOffset + 1] = settings.AutoSave ? 1 : 0;
    image[SoundOffset + 2] = settings.DeleteAutoSaves ? 1 : 0;
    PutInt32(&image[KeepSaveFilesOffset], settings.KeepSaveFiles);
    return image;
}

TSettings DecodeSettings(std::span<const uint8_t, SettingsFileSize> image) {
    TSettings settings;
    settings.PlayerCount = GetInt32(&image[0]);
    settings.MatchFormat = GetInt32(&image[4]);
    settings.GameType = GetInt32(&image[8]);
    for (int k = 0; k < OutshotCount; ++k)
        settings.Outshots[k] =
            GetShortString(&image[OutshotsOffset + k * OutshotSize], OutshotCapacity);
    for (int n = 0; n < MaxPlayers; ++n)
        settings.PlayerNames[n] = GetShortString(&image[NamesOffset + n * NameSize], NameCapacity);
    // Any non-zero byte reads as true.
    settings.Sound = image[SoundOffset] != 0;
    settings.AutoSave = image[SoundOffset + 1] != 0;
    settings.DeleteAutoSaves = image[SoundOffset + 2] != 0;
    settings.KeepSaveFiles = GetInt32(&image[KeepSaveFilesOffset]);
    return settings;
}

TSettings FirstRunSettings() {
    TSettings settings;
    settings.PlayerCount = FirstRunPlayers;
    settings.GameType = 2;    // "  501 Double Out"
    settings.MatchFormat = 3; // "Best of 1 Set"
    std::copy(StandardCheckouts.begin(), StandardCheckouts.end(), settings.Outshots.begin());
    settings.AutoSave = true;
    settings.DeleteAutoSaves = true;
    settings.KeepSaveFiles = 10;
    return settings;
}

std::string SettingsPath() {
    return BaseDir() + "brnx3p.dat";
}

TSettings SettingsFromFile(std::span<const uint8_t> bytes, const TSettings& current) {
    if (bytes.empty()) return FirstRunSettings();
    // A short file replaces only the leading bytes of the record as it stands.
    TSettingsImage image = EncodeSettings(current);
    std::copy_n(bytes.begin(), std::min(bytes.size(), image.size()), image.begin());
    TSettings settings = DecodeSettings(image);
    if (settings.PlayerCount < 1 || settings.PlayerCount > MaxPlayers)
        settings.PlayerCount = FirstRunPlayers;
    return settings;
}

void LoadSettings() {
    std::vector<uint8_t> bytes;
    try {
        bytes = ReadRecordFile(SettingsPath(), SettingsFileSize);
    } catch (const EInOutError&) {
        bytes.clear(); // unreadable counts as missing
    }
    Settings = SettingsFromFile(bytes, Settings);
}

void SaveSettings() {
    try {
        WriteRecordFile(SettingsPath(), EncodeSettings(Settings));
    } catch (const EInOutError&) {
        // The settings file never reports a failure; the change is lost.
    }
}

} // namespace brennix
