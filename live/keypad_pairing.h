// Pairing a phone or tablet at the board with this run of the program, so that it may score as
// the board's keypad. The operator shows a one-time code (used once, valid two minutes); a page
// that sends it gets a token in exchange, which its cookie keeps until the program ends. Nothing is
// written to disk. Codes and tokens come from the system's cryptographic random source; a wrong
// code tells nothing of how close it was, and each address has a few tries a minute. No Qt.
#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brennix {

class TKeypadPairing {
  public:
    using TClock = std::chrono::steady_clock;

    // How long a code may be used, and how often an address may try one.
    static constexpr std::chrono::seconds CodeLife{120};
    static constexpr int TriesPerMinute = 5;
    // Letters of the code, from Crockford's 32 (typed O is taken as 0, I and L as 1, small
    // letters as capitals): 50 bits, so that guessing it within its life at the tries allowed is
    // hopeless.
    static constexpr size_t CodeLength = 10;
    static constexpr std::string_view CodeLetters = "0123456789ABCDEFGHJKMNPQRSTVWXYZ";
    // Addresses remembered for their tries; past it, new addresses are refused for the minute.
    static constexpr size_t MostAddresses = 1024;

    // A new code, in place of the one before (which can no longer be used).
    std::string NewCode(TClock::time_point now);
    // The token for the code shown, once; none for any other code, a code used or expired, or an
    // address that tried too often in the last minute. Letters are taken in either case.
    std::optional<std::string> Pair(std::string_view code, const std::string& address,
                                    TClock::time_point now);
    // Whether the token is one handed out since the last ForgetAll.
    bool Paired(std::string_view token) const;
    size_t Count() const { return tokens_.size(); }
    // Every keypad paired so far must pair again.
    void ForgetAll() { tokens_.clear(); }

  private:
    std::string code_; // "" when there is none to use
    TClock::time_point codeUntil_;
    std::vector<std::string> tokens_;
    std::map<std::string, std::vector<TClock::time_point>> tries_; // per address, the last minute's
};

// `bytes` bytes from the system's cryptographic random source. Raises EBrennixError when it fails.
std::string RandomBytes(size_t bytes);

} // namespace brennix
