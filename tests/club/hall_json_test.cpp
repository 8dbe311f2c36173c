// The hall's JSON: which boards it shows, which as away, this board as it is now, the server's
// absence, and the boards' texts and states as they come from the club's database (untrusted),
// always as valid JSON. Then against a real PostgreSQL: the boards go on aging while the server
// is away.
#include "test_postgres.h"

#include "club/pg.h"
#include "club/window/club_hall.h"
#include "history/history_store.h"

#include <gtest/gtest.h>
#include <thread>

namespace brennix::test {
namespace {

using namespace std::chrono_literals;

TEST(HallJsonTest, BoardsSeenInTheLastTenMinutesAwayAfterThirtySecondsThisBoardAsItIs) {
    // 2026-12-07 20:00:00 UTC; "seen" is local time, so the test runs in UTC.
    setenv("TZ", "UTC", 1);
    tzset();
    const std::chrono::system_clock::time_point now{std::chrono::seconds{1796673600}};
    const std::vector<club::TClubBoard> boards = {
        {"Bar &<>\"", 30, R"({"winner":null})", ""},                 // the last second not away
        {"Cue", 30.5, "not json", "Club: 2 matches waiting"},        // away; a broken state is none
        {"Old", 600, "[1]", ""},                                     // the last second of the hall
        {"Gone", 600.5, "{}", ""},                                   // out of the hall
        {"Odd", std::numeric_limits<double>::quiet_NaN(), "{}", ""}, // no time: out
        {"Bad \xFF", -5, "{}", ""},                                  // a byte no UTF-8 has
    };
    // This board, which the club has not read, in its name's place as it is now.
    club::TSyncStatus status;
    status.Board = "Hall";
    status.Reached = status.Known = true;
    EXPECT_EQ(
        HallJson(boards, status, R"({"set":2})", now).toStdString(),
        R"j({"club":"Club: in step (board Hall)","away_since":null,"boards":[)j"
        R"j({"board":"Bar &<>\"","away":false,"seen":"19:59","sync":"","state":{"winner":null}},)j"
        R"j({"board":"Cue","away":true,"seen":"19:59","sync":"Club: 2 matches waiting","state":null},)j"
        R"j({"board":"Hall","away":false,"seen":"20:00","sync":"","state":{"set":2}},)j"
        R"j({"board":"Old","away":true,"seen":"19:50","sync":"","state":null},)j"
        R"j({"board":"Bad )j"
        "\xEF\xBF\xBD"
        R"j(","away":false,"seen":"20:00","sync":"","state":{}}]})j");
    // Away since 19:42:59: this board as it is, whatever its row says, without the club's note and
    // without a state before its first redraw.
    status.Reached = false;
    status.AwaySince = now - 17min - 1s;
    EXPECT_EQ(
        HallJson({{"Hall", 500, "{}", "1 match waiting", true}}, status, "", now).toStdString(),
        R"j({"club":"Club: 0 matches waiting (board Hall)","away_since":"19:42","boards":[)j"
        R"j({"board":"Hall","away":false,"seen":"20:00","sync":"","state":null}]})j");
}

// A board of a real club stops writing its row 25 seconds after it was last seen, then the server
// goes away: the hall shows the board as away once its thirty seconds are over, though nothing is
// read any more.
TEST(HallJsonTest, BoardsAgeWhileTheServerIsAway) {
    TTestPostgres server;
    std::string folder = (std::filesystem::temp_directory_path() / "brennix-hall-XXXXXX").string();
    ASSERT_NE(::mkdtemp(folder.data()), nullptr);
    for (const char* name : {"/hall.sqlite", "/other.sqlite"})
        THistoryStore(folder + name, [](const std::string& text) { FAIL() << text; });
    club::TClubSync::TOptions quick;
    quick.Poll = quick.FirstBackoff = quick.LastBackoff = 20ms;
    quick.WaitSeconds = 2;
    quick.FinishWait = 0ms;
    auto other = std::make_unique<club::TClubSync>(club::TClubPlace{server.Url(), "Other"},
                                                   folder + "/other.sqlite", nullptr, quick);
    other->SetState("{}");
    club::TClubSync hall({server.Url(), "Hall"}, folder + "/hall.sqlite", nullptr, quick);
    hall.WatchBoards(true);
    const auto waitFor = [](const std::function<bool()>& condition) {
        for (int i = 0; i < 3000 && !condition(); ++i)
            std::this_thread::sleep_for(10ms);
        return condition();
    };
    const auto away = [&] {
        const QByteArray json = HallJson(hall.Boards(), hall.Status(), "", {});
        return json.contains(R"("away_since":")") &&
               json.contains(R"("board":"Other","away":true)");
    };
    ASSERT_TRUE(waitFor([&] { return hall.Boards().size() == 2; }));
    other.reset();
    club::TConnection(server.Url())
        .Script(
            "UPDATE brennix.boards SET seen_at = now() - interval '25 s' WHERE state IS NOT NULL");
    ASSERT_TRUE(waitFor([&] { return hall.Boards().at(1).SecondsAgo >= 25; }));
    server.Stop();
    EXPECT_TRUE(waitFor(away));
    std::filesystem::remove_all(folder);
}

} // namespace
} // namespace brennix::test
