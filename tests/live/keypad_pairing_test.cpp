// Pairing keypads: a code is taken once, within its life, however it is typed; an address has
// five tries a minute; tokens are known until forgotten.
#include "live/keypad_pairing.h"

#include <gtest/gtest.h>

namespace brennix::test {
namespace {

using namespace std::chrono_literals;
const TKeypadPairing::TClock::time_point T0{100h};

// The code as a person might type it: small letters, O for 0, L for 1.
std::string Typed(const std::string& code) {
    std::string typed;
    for (const char c : code)
        typed += c == '0' ? 'o' : c == '1' ? 'l' : c >= 'A' && c <= 'Z' ? char(c + 32) : c;
    return typed;
}

TEST(KeypadPairingTest, CodesTriesAndTokens) {
    TKeypadPairing pairing;
    const std::string first = pairing.NewCode(T0);
    ASSERT_EQ(first.size(), 10u);
    EXPECT_EQ(first.find_first_not_of(TKeypadPairing::CodeLetters), std::string::npos);
    const std::string code = pairing.NewCode(T0);
    EXPECT_NE(code, first); // 2^-50 to be equal by chance
    std::string wrong = code;
    wrong[9] = wrong[9] == 'X' ? 'Y' : 'X';
    struct TStep {
        std::string code, address;
        std::chrono::seconds at;
        bool paired;
    } steps[] = {
        {first, "a", 0s, false},             // replaced by the new one
        {wrong, "a", 0s, false},             // the last letter wrong
        {code + "0", "a", 0s, false},        // one too many
        {code.substr(0, 9), "a", 0s, false}, // one too few
        {"", "a", 0s, false},
        {code, "a", 1s, false}, // the sixth try of the minute, right or not
        {Typed(code), "b", 120s, true},
        {code, "c", 120s, false}, // used
        {code, "a", 61s, false},  // a's first tries are a minute old: a may try, but it is used
    };
    for (const TStep& s : steps) {
        SCOPED_TRACE(s.code + " from " + s.address);
        const std::optional<std::string> token = pairing.Pair(s.code, s.address, T0 + s.at);
        EXPECT_EQ(token.has_value(), s.paired);
        if (!token) continue;
        EXPECT_EQ(token->size(), 64u);
        EXPECT_EQ(token->find_first_not_of("0123456789abcdef"), std::string::npos);
        EXPECT_TRUE(pairing.Paired(*token));
        EXPECT_FALSE(pairing.Paired(token->substr(0, 63)));
    }
    EXPECT_EQ(pairing.Count(), 1u);

    // A code past its life; a fresh one, once more; forgetting every keypad.
    const std::string late = pairing.NewCode(T0);
    EXPECT_FALSE(pairing.Pair(late, "d", T0 + 121s));
    const std::optional<std::string> second = pairing.Pair(pairing.NewCode(T0), "d", T0 + 2s);
    ASSERT_TRUE(second);
    EXPECT_EQ(pairing.Count(), 2u);
    pairing.ForgetAll();
    EXPECT_FALSE(pairing.Paired(*second));
    EXPECT_EQ(pairing.Count(), 0u);
}

TEST(KeypadPairingTest, AFloodOfAddressesIsHeldWithinItsBound) {
    TKeypadPairing pairing;
    const std::string code = pairing.NewCode(T0);
    for (size_t a = 0; a < TKeypadPairing::MostAddresses; ++a)
        EXPECT_FALSE(pairing.Pair("WRONG", "10.0.0." + std::to_string(a), T0));
    // A new address is refused while the others are remembered, then welcome.
    EXPECT_FALSE(pairing.Pair(code, "phone", T0 + 1s));
    EXPECT_TRUE(pairing.Pair(code, "phone", T0 + 61s));
}

} // namespace
} // namespace brennix::test
