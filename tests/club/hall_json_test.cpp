// The hall's JSON: which boards it shows, which as away, this board as it is now, the server's
// absence, and the boards' texts and states as they come from the club's database (untrusted),
// always as valid JSON. Then against a real PostgreSQL: the boards go on aging while the server
// is away.
#include "test_postgres.h"

#include "club/pg.h"
#include "club/window/club_hall.h"
#include "history/history_store.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <thread>

namespace brennix::test {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;

// A worker that looks often and stops at once.
club::TClubSync::TOptions Quick() {
    club::TClubSync::TOptions quick;
    quick.Poll = quick.FirstBackoff = quick.LastBackoff = 20ms;
    quick.WaitSeconds = 2;
    quick.FinishWait = 0ms;
    return quick;
}

// Polls a condition for at most 30 seconds.
bool WaitFor(const std::function<bool()>& condition) {
    for (int i = 0; i < 3000 && !condition(); ++i)
        std::this_thread::sleep_for(10ms);
    return condition();
}

TEST(HallJsonTest, BoardsSeenInTheLastTenMinutesAwayAfterThirtySecondsThisBoardAsItIs) {
    // 2026-12-07 20:00:00 UTC; "seen" is local time, so the test runs in UTC.
    setenv("TZ", "UTC", 1);
    tzset();
    const std::chrono::system_clock::time_point now{std::chrono::seconds{1796673600}};
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<club::TClubBoard> boards = {
        {"Bar &<>\"", 30, R"({"winner":null})", "", false, ""}, // the last second not away
        {"Cue", 30.5, "", "Club: 2 matches waiting", false, "state <&>"}, // away, broken
        {"Old", 600, "", "", false, ""},       // the last second of the hall
        {"Gone", 600.5, "{}", "", false, ""},  // out of the hall
        {"Odd", nan, "{}", "", false, ""},     // no time: out
        {"Bad \xFF", -5, "{}", "", false, ""}, // a byte no UTF-8 has
    };
    // This board, which the club has not read, in its name's place as it is now.
    club::TSyncStatus status;
    status.Board = "Hall";
    status.Reached = status.Known = true;
    EXPECT_EQ(
        HallJson(boards, status, R"({"set":2})", now).toStdString(),
        R"j({"club":"Club: in step (board Hall)","away_since":null,"boards":[)j"
        R"j({"board":"Bar &<>\"","away":false,"seen":"19:59","sync":"","broken":null,"state":{"winner":null}},)j"
        R"j({"board":"Cue","away":true,"seen":"19:59","sync":"Club: 2 matches waiting","broken":"state <&>","state":null},)j"
        R"j({"board":"Hall","away":false,"seen":"20:00","sync":"","broken":null,"state":{"set":2}},)j"
        R"j({"board":"Old","away":true,"seen":"19:50","sync":"","broken":null,"state":null},)j"
        R"j({"board":"Bad )j"
        "\xEF\xBF\xBD"
        R"j(","away":false,"seen":"20:00","sync":"","broken":null,"state":{}}]})j");
    // Away since 19:42:59: this board as it is, whatever its row says, without the club's note and
    // without a state before its first redraw; the public note without the server's reason.
    status.Reached = false;
    status.AwaySince = now - 17min - 1s;
    status.Reason = "connection to server at \"10.0.0.5\", port 5432 failed: role brennix_board";
    EXPECT_EQ(
        HallJson({{"Hall", 500, "{}", "1 match waiting", true, "x"}}, status, "", now)
            .toStdString(),
        R"j({"club":"Club: 0 matches waiting (board Hall); the club server cannot be reached",)j"
        R"j("away_since":"19:42","boards":[)j"
        R"j({"board":"Hall","away":false,"seen":"20:00","sync":"","broken":null,"state":null}]})j");
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
    const club::TClubSync::TOptions quick = Quick();
    auto other = std::make_unique<club::TClubSync>(club::TClubPlace{server.Url(), "Other"},
                                                   folder + "/other.sqlite", nullptr, quick);
    other->SetState("{}");
    club::TClubSync hall({server.Url(), "Hall"}, folder + "/hall.sqlite", nullptr, quick);
    hall.WatchBoards(true);
    const auto away = [&] {
        const QByteArray json = HallJson(hall.Boards(), hall.Status(), "", {});
        return json.contains(R"("away_since":")") &&
               json.contains(R"("board":"Other","away":true)");
    };
    ASSERT_TRUE(WaitFor([&] { return hall.Boards().size() == 2; }));
    other.reset();
    club::TConnection(server.Url())
        .Script(
            "UPDATE brennix.boards SET seen_at = now() - interval '25 s' WHERE state IS NOT NULL");
    ASSERT_TRUE(WaitFor([&] { return hall.Boards().at(1).SecondsAgo >= 25; }));
    server.Stop();
    EXPECT_TRUE(WaitFor(away));
    std::filesystem::remove_all(folder);
}

// Rows other members wrote, broken or hostile: each is shown as broken or left out, none stops
// the read of the others or the board's own copy, and what the window's thread makes of them
// takes no longer than with a quiet club.
TEST(HallJsonTest, HostileRowsAreBoundedAndHoldNothingUp) {
    TTestPostgres server;
    std::string folder = (std::filesystem::temp_directory_path() / "brennix-hall-XXXXXX").string();
    ASSERT_NE(::mkdtemp(folder.data()), nullptr);
    THistoryStore(folder + "/hall.sqlite", [](const std::string& text) { FAIL() << text; });
    const club::TClubSync::TOptions quick = Quick();
    club::TClubSync hall({server.Url(), "Hall"}, folder + "/hall.sqlite", nullptr, quick);
    hall.WatchBoards(true);
    ASSERT_TRUE(WaitFor([&] { return hall.Boards().size() == 1; }));
    const auto windowsPart = [&] {
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < 20; ++i)
            HallJson(hall.Boards(), hall.Status(), "{}", std::chrono::system_clock::now());
        return std::chrono::steady_clock::now() - start;
    };
    const auto quiet = windowsPart();
    club::TConnection(server.Url())
        .Script("INSERT INTO brennix.boards (board, name, seen_at, state) VALUES "
                "('1', 'deep', now(), (repeat('[', 1000) || repeat(']', 1000))::jsonb), "
                "('2', 'depth8', now(), '{\"a\": [[[[[[[1]]]]]]], \"q\": \"\\\"[[[[[[[[[\"}'), "
                "('3', 'depth9', now(), '{\"a\": [[[[[[[[1]]]]]]]]}'), "
                "('4', 'large', now(), ('{\"a\": \"' || repeat('x', 70000) || '\"}')::jsonb), "
                "('5', 'v4000', now(), jsonb_build_object('v', (SELECT jsonb_agg(0) FROM "
                "generate_series(1, 3998)))), "
                "('6', 'v4001', now(), jsonb_build_object('v', (SELECT jsonb_agg(0) FROM "
                "generate_series(1, 3999)))), "
                "('7', 'array', now(), '[1]'), "
                "('8', 'ahead', now() + interval '10 years', '{\"set\": 2}'), "
                "('9', 'endless', 'infinity', '{}'), "
                "('10', 'long' || repeat('n', 10000), now(), NULL); "
                "INSERT INTO brennix.boards (board, name, seen_at) SELECT 'f' || i, 'flood', "
                "now() - interval '1 minute' FROM generate_series(1, 100) i");
    ASSERT_TRUE(WaitFor([&] { return hall.Boards().size() == 48; }));
    // Name (cut), its length, when seen (clamped), state, why it is broken; of the flood the 37
    // newest.
    std::vector<std::string> shown;
    for (const club::TClubBoard& board : hall.Boards()) {
        if (board.Board == "flood") continue;
        const double ago = board.SecondsAgo;
        shown.push_back(board.Board.substr(0, 6) + " " + std::to_string(board.Board.size()) +
                        (ago < 0     ? " ahead "
                         : ago < 5   ? " now "
                         : ago > 1e9 ? " out "
                                     : " old ") +
                        (board.State.size() > 30 ? "big" : board.State) + " " + board.Broken);
    }
    EXPECT_THAT(shown,
                ElementsAre("Hall 4 now  ", "ahead 5 now {\"set\":2} ",
                            "array 5 now  state that is not a JSON object",
                            "deep 4 now  state nested deeper than 8", "depth8 6 now big ",
                            "depth9 6 now  state nested deeper than 8", "endles 7 out {} ",
                            "large 5 now  state of 70009 bytes", "longnn 200 now  ",
                            "v4000 5 now big ", "v4001 5 now  state of more than 4000 values"));
    EXPECT_LE(windowsPart(), quiet * 2 + 100ms);
    const club::TSyncStatus status = hall.Status();
    EXPECT_TRUE(status.Reached && status.Known) << club::NoteOf(status);
    std::filesystem::remove_all(folder);
}

} // namespace
} // namespace brennix::test
