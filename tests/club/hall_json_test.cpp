// The hall's JSON: which boards it shows, which as away, and the boards' texts and states as
// they come from the club's database (untrusted), always as valid JSON.
#include "club/window/club_hall.h"

#include <gtest/gtest.h>

namespace brennix::test {
namespace {

TEST(HallJsonTest, BoardsSeenInTheLastTenMinutesAwayAfterThirtySeconds) {
    // 2026-12-07 20:00:00 UTC; "seen" is local time, so the test runs in UTC.
    setenv("TZ", "UTC", 1);
    tzset();
    const std::chrono::system_clock::time_point now{std::chrono::seconds{1796673600}};
    const std::vector<club::TClubBoard> boards = {
        {"Bar &<>\"", 30, R"({"winner":null})", ""},                 // the last second not away
        {"Hall", 30.5, "not json", "Club: 2 matches waiting"},       // away; a broken state is none
        {"Old", 600, "[1]", ""},                                     // the last second of the hall
        {"Gone", 600.5, "{}", ""},                                   // out of the hall
        {"Odd", std::numeric_limits<double>::quiet_NaN(), "{}", ""}, // no time: out
        {"Bad \xFF", -5, "{}", ""},                                  // a byte no UTF-8 has
    };
    EXPECT_EQ(
        HallJson(boards, "Club: in step (board Bar)", now).toStdString(),
        R"j({"club":"Club: in step (board Bar)","boards":[)j"
        R"j({"board":"Bar &<>\"","away":false,"seen":"19:59","sync":"","state":{"winner":null}},)j"
        R"j({"board":"Hall","away":true,"seen":"19:59","sync":"Club: 2 matches waiting","state":null},)j"
        R"j({"board":"Old","away":true,"seen":"19:50","sync":"","state":null},)j"
        R"j({"board":"Bad )j"
        "\xEF\xBF\xBD"
        R"j(","away":false,"seen":"20:00","sync":"","state":{}}]})j");
}

} // namespace
} // namespace brennix::test
