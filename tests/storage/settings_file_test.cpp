// The settings file: its byte layout, partial and oversized files, first run and bad values.
#include "storage_fixture.h"

#include <set>
#include <sstream>

#include "storage/bytes.h"
#include "storage/checkout_table.h"
#include "storage/settings_file.h"

namespace brennix::test {
namespace {

using SettingsFileTest = StorageTest;

std::string ShortStringAt(const std::vector<uint8_t>& bytes, size_t offset) {
    return std::string(bytes.begin() + offset + 1, bytes.begin() + offset + 1 + bytes[offset]);
}

TEST_F(SettingsFileTest, FirstRunPresentsAPlayableBoardAndStoresIt) {
    LoadSettings(); // no file
    ResetPlayers(); // the default names, as the first game's reset gives them
    EXPECT_EQ(Settings.PlayerCount, 2);
    EXPECT_EQ(Settings.GameType, 2);
    EXPECT_EQ(Settings.MatchFormat, 3);
    EXPECT_TRUE(Settings.AutoSave);
    EXPECT_TRUE(Settings.DeleteAutoSaves);
    EXPECT_FALSE(Settings.Sound);
    EXPECT_EQ(Settings.KeepSaveFiles, 10);
    SaveSettings();

    const std::vector<uint8_t> bytes = ReadBytes(SettingsPath());
    ASSERT_EQ(bytes.size(), 8956u);
    EXPECT_EQ(Int32At(bytes, 0), 2);
    EXPECT_EQ(Int32At(bytes, 4), 3);
    EXPECT_EQ(Int32At(bytes, 8), 2);
    for (int n = 1; n <= 8; ++n) {
        const size_t at = 8733 + (n - 1) * 27;
        EXPECT_EQ(bytes[at], 7);
        EXPECT_EQ(ShortStringAt(bytes, at), "Player" + std::to_string(n));
        for (size_t i = at + 8; i < at + 27; ++i)
            EXPECT_EQ(bytes[i], 0) << "unused name byte " << i;
    }
    EXPECT_EQ(bytes[12], 0) << "no checkout for 1";
    EXPECT_EQ(ShortStringAt(bytes, 12 + 2 * 51), "1 D1");
    EXPECT_EQ(ShortStringAt(bytes, 12 + 39 * 51), "D20");
    EXPECT_EQ(ShortStringAt(bytes, 12 + 49 * 51), "Bull");
    EXPECT_EQ(ShortStringAt(bytes, 12 + 99 * 51), "T20 D20");
    EXPECT_EQ(ShortStringAt(bytes, 8631), "T20 T20 Bull");
    EXPECT_EQ(bytes[8682], 0) << "entry 171 stays empty";
    EXPECT_EQ(bytes[8949], 0);
    EXPECT_EQ(bytes[8950], 1);
    EXPECT_EQ(bytes[8951], 1);
    EXPECT_EQ(Int32At(bytes, 8952), 10);
}

TEST_F(SettingsFileTest, IntegersAreLittleEndianAtTheirOffsets) {
    Settings.PlayerCount = 4;
    Settings.KeepSaveFiles = -1;
    Settings.Sound = true;
    SaveSettings();
    const std::vector<uint8_t> bytes = ReadBytes(SettingsPath());
    ASSERT_EQ(bytes.size(), 8956u);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 4),
              (std::vector<uint8_t>{4, 0, 0, 0}));
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 8952, bytes.end()),
              (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(bytes[8949], 1);
}

TEST_F(SettingsFileTest, FullCapacityStringsFillTheirSlotsAndLongerOnesAreCut) {
    Settings.PlayerCount = 2;
    Settings.PlayerNames[7] = std::string(26, 'n');
    Settings.PlayerNames[0] = std::string(30, 'a');
    Settings.Outshots[169] = std::string(50, 'c');
    Settings.Outshots[170] = std::string(60, 'z');
    SaveSettings();
    const std::vector<uint8_t> bytes = ReadBytes(SettingsPath());
    EXPECT_EQ(bytes[8922], 26);
    EXPECT_EQ(ShortStringAt(bytes, 8922), std::string(26, 'n'));
    EXPECT_EQ(bytes[8948], 'n') << "the last byte of the last name";
    EXPECT_EQ(ShortStringAt(bytes, 8733), std::string(26, 'a'));
    EXPECT_EQ(ShortStringAt(bytes, 8631), std::string(50, 'c'));
    EXPECT_EQ(bytes[8681], 'c');
    EXPECT_EQ(ShortStringAt(bytes, 8682), std::string(50, 'z'));
}

TEST_F(SettingsFileTest, SaveAfterLoadReproducesEveryField) {
    TSettings original;
    original.PlayerCount = 7;
    original.MatchFormat = 8;
    original.GameType = 12;
    for (int k = 0; k < OutshotCount; ++k)
        original.Outshots[k] = "route " + std::to_string(k * 7);
    for (int n = 0; n < MaxPlayers; ++n)
        original.PlayerNames[n] = std::string(n * 3, static_cast<char>('A' + n));
    original.PlayerNames[5] = "J\xF6rg"; // one byte per character, as typed
    original.Sound = true;
    original.DeleteAutoSaves = true;
    original.KeepSaveFiles = -123456;
    Settings = original;
    SaveSettings();
    const std::vector<uint8_t> first = ReadBytes(SettingsPath());

    Settings = TSettings{};
    LoadSettings();
    EXPECT_EQ(EncodeSettings(Settings), EncodeSettings(original));
    EXPECT_EQ(Settings.PlayerNames[5], "J\xF6rg");
    EXPECT_EQ(Settings.KeepSaveFiles, -123456);
    EXPECT_FALSE(Settings.AutoSave);
    SaveSettings();
    EXPECT_EQ(ReadBytes(SettingsPath()), first);
}

TEST_F(SettingsFileTest, AShortFileReplacesOnlyItsLeadingBytes) {
    Settings = FirstRunSettings();
    Settings.PlayerNames[0] = "Kept";
    WriteBytes(SettingsPath(), {5, 0, 0, 0, 4, 0, 0, 0, 9, 0, 0, 0});
    LoadSettings();
    EXPECT_EQ(Settings.PlayerCount, 5);
    EXPECT_EQ(Settings.MatchFormat, 4);
    EXPECT_EQ(Settings.GameType, 9);
    EXPECT_EQ(Settings.PlayerNames[0], "Kept");
    EXPECT_EQ(Settings.Outshots[169], "T20 T20 Bull");
    EXPECT_EQ(Settings.KeepSaveFiles, 10);
}

TEST_F(SettingsFileTest, ALongerFileIsReadInPartAndCutOnTheNextSave) {
    Settings.PlayerCount = 3;
    SaveSettings();
    std::vector<uint8_t> bytes = ReadBytes(SettingsPath());
    bytes.resize(9100, 0xAB);
    WriteBytes(SettingsPath(), bytes);
    Settings = TSettings{};
    LoadSettings();
    EXPECT_EQ(Settings.PlayerCount, 3);
    SaveSettings();
    EXPECT_EQ(ReadBytes(SettingsPath()).size(), 8956u);
}

TEST_F(SettingsFileTest, ValuesThatCouldIndexOutsideTheRecordsAreMended) {
    TSettingsImage image = EncodeSettings(FirstRunSettings());
    for (int32_t count : {0, 9, -1, INT32_MIN}) {
        PutInt32(&image[0], count);
        image[8733] = 200; // a name's length byte above its capacity
        image[12 + 5 * 51] = 51;
        WriteBytes(SettingsPath(), std::vector<uint8_t>(image.begin(), image.end()));
        LoadSettings();
        EXPECT_EQ(Settings.PlayerCount, 2) << "count " << count;
        EXPECT_EQ(Settings.PlayerNames[0].size(), 26u);
        EXPECT_EQ(Settings.Outshots[5].size(), 50u);
    }
}

TEST_F(SettingsFileTest, AnUnreadableFileCountsAsAFirstRun) {
    Settings.PlayerCount = 3;
    Settings.GameType = 9;
    SaveSettings();
    fs::permissions(SettingsPath(), fs::perms::owner_read | fs::perms::group_read);
    Settings = TSettings{};
    LoadSettings(); // a read-only file is not read: it is opened for writing too
    EXPECT_EQ(Settings.PlayerCount, 2);
    EXPECT_EQ(Settings.GameType, 2);

    WriteBytes(SettingsPath(), {});
    fs::permissions(SettingsPath(), fs::perms::owner_all);
    WriteBytes(SettingsPath(), {});
    Settings = TSettings{};
    LoadSettings();
    EXPECT_EQ(Settings.PlayerCount, 2);
    EXPECT_EQ(Settings.Outshots[39], "D20");
}

TEST_F(SettingsFileTest, SavingNeverReportsAndNeverLeavesHalfFiles) {
    Settings.PlayerCount = 6;
    SaveSettings();
    const std::vector<uint8_t> before = ReadBytes(SettingsPath());
    Settings.PlayerCount = 7;
    {
        TFileSizeLimit limit(4000); // the disk fills up half way
        EXPECT_NO_THROW(SaveSettings());
    }
    EXPECT_EQ(ReadBytes(SettingsPath()), before);
    EXPECT_EQ(FilesIn(dir), std::vector<std::string>{"brnx3p.dat"});

    SetBaseDir((dir / "missing").string());
    EXPECT_NO_THROW(SaveSettings());
}

// Fewest darts to a double; the bull only for 50 itself and where three darts reach no double.
TEST_F(SettingsFileTest, TheStandardCheckoutsAddUpAndEndOnADoubleOrTheBull) {
    auto value = [](const std::string& dart) {
        if (dart == "Bull") return 50;
        if (dart == "25") return 25;
        if (dart[0] == 'T') return 3 * std::stoi(dart.substr(1));
        if (dart[0] == 'D') return 2 * std::stoi(dart.substr(1));
        return std::stoi(dart);
    };
    const std::set<int> impossible = {1, 159, 162, 163, 165, 166, 168, 169};
    // onDouble[k]: the scores k darts finish on D1-D20, counted from the board.
    std::set<int> anyDart = {25, 50}, onDouble[4];
    for (int n = 1; n <= 20; ++n) {
        anyDart.insert({n, 2 * n, 3 * n});
        onDouble[1].insert(2 * n);
    }
    for (int k = 2; k <= 3; ++k)
        for (int rest : onDouble[k - 1])
            for (int first : anyDart)
                onDouble[k].insert(first + rest);
    for (int r = 1; r <= 170; ++r) {
        const std::string route(StandardCheckouts[r - 1]);
        if (impossible.count(r)) {
            EXPECT_EQ(route, "") << r;
            continue;
        }
        std::istringstream darts(route);
        std::vector<std::string> list{std::istream_iterator<std::string>(darts), {}};
        ASSERT_FALSE(list.empty()) << r;
        EXPECT_LE(list.size(), 3u) << r;
        // The bull: 50 with one dart, and where three darts cannot finish on a double.
        const bool bull =
            r == 50 || !(onDouble[1].count(r) + onDouble[2].count(r) + onDouble[3].count(r));
        const size_t fewest = r == 50 || onDouble[1].count(r) ? 1 : onDouble[2].count(r) ? 2 : 3;
        EXPECT_EQ(list.size(), fewest) << r << ": " << route;
        EXPECT_EQ(list.back() == "Bull", bull) << r << ": " << route;
        int sum = 0;
        for (const std::string& dart : list) {
            const int v = value(dart);
            const bool valid =
                dart == "Bull" || dart == "25" ||
                (v >= 1 && v <= 20 && dart == std::to_string(v)) ||
                ((dart[0] == 'T' || dart[0] == 'D') && v / (dart[0] == 'T' ? 3 : 2) <= 20);
            EXPECT_TRUE(valid) << r << ": " << dart;
            sum += v;
        }
        EXPECT_EQ(sum, r) << route;
        EXPECT_TRUE(list.back() == "Bull" || list.back()[0] == 'D') << route;
        EXPECT_LE(route.size(), OutshotCapacity);
    }
    EXPECT_EQ(StandardCheckouts[169], "T20 T20 Bull");
    EXPECT_EQ(StandardCheckouts[99], "T20 D20");
    // The routes of the chart players know.
    const std::vector<std::pair<int, std::string>> chart = {
        {170, "T20 T20 Bull"}, {167, "T20 T19 Bull"}, {160, "T20 T20 D20"}, {141, "T20 T19 D12"},
        {139, "T19 T14 D20"},  {110, "T20 10 D20"},   {104, "T18 10 D20"},  {101, "T20 1 D20"},
        {100, "T20 D20"},      {99, "T19 10 D16"},    {82, "T14 D20"},      {81, "T19 D12"},
        {76, "T20 D8"},        {68, "T20 D4"},        {61, "T15 D8"},       {50, "Bull"},
        {40, "D20"},           {32, "D16"},
    };
    for (const auto& [r, route] : chart)
        EXPECT_EQ(StandardCheckouts[r - 1], route) << r;
}

} // namespace
} // namespace brennix::test
