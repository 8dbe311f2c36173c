#include "keypad_pairing.h"

#include "engine/errors.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#ifdef _WIN32
#include <windows.h>

#include <bcrypt.h> // needs windows.h first
#else
#include <sys/random.h>
#endif

namespace brennix {

namespace {

// Whether two texts are equal, in a time that depends on their lengths only.
bool SameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    unsigned char differ = 0;
    for (size_t i = 0; i < a.size(); ++i)
        differ |= static_cast<unsigned char>(a[i] ^ b[i]);
    return differ == 0;
}

// A typed letter of a code as the code has it.
char AsCoded(char c) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return c == 'O' ? '0' : c == 'I' || c == 'L' ? '1' : c;
}

} // namespace

std::string RandomBytes(size_t bytes) {
    std::string random(bytes, '\0');
#ifdef _WIN32
    const NTSTATUS status =
        ::BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(random.data()),
                          static_cast<ULONG>(bytes), BCRYPT_USE_SYSTEM_PREFERRED_RNG);
    if (status != 0)
        throw EBrennixError("no random numbers from the system: status " + std::to_string(status));
#else
    for (size_t got = 0; got < bytes;) {
        const ssize_t read = ::getrandom(random.data() + got, bytes - got, 0);
        if (read < 0 && errno == EINTR) continue;
        if (read <= 0)
            throw EBrennixError(std::string("no random numbers from the system: ") +
                                std::strerror(errno));
        got += static_cast<size_t>(read);
    }
#endif
    return random;
}

std::string TKeypadPairing::NewCode(TClock::time_point now) {
    // 32 letters: each random byte gives one, evenly.
    const std::string random = RandomBytes(CodeLength);
    code_.clear();
    for (const char byte : random)
        code_ += CodeLetters[static_cast<unsigned char>(byte) % CodeLetters.size()];
    codeUntil_ = now + CodeLife;
    return code_;
}

std::optional<std::string> TKeypadPairing::Pair(std::string_view code, const std::string& address,
                                                TClock::time_point now) {
    // The tries of the last minute, per address; addresses without any are forgotten.
    const auto minuteAgo = now - std::chrono::minutes(1);
    for (auto entry = tries_.begin(); entry != tries_.end();) {
        std::erase_if(entry->second, [&](TClock::time_point at) { return at <= minuteAgo; });
        entry = entry->second.empty() ? tries_.erase(entry) : std::next(entry);
    }
    const auto known = tries_.find(address);
    if (known == tries_.end() && tries_.size() >= MostAddresses) return std::nullopt;
    std::vector<TClock::time_point>& tries = tries_[address];
    if (tries.size() >= static_cast<size_t>(TriesPerMinute)) return std::nullopt;
    tries.push_back(now);

    std::string typed;
    for (const char c : code.substr(0, CodeLength + 1))
        typed += AsCoded(c);
    // Every letter compared whatever the others: a wrong code tells nothing of how close it was.
    if (code_.empty() || now > codeUntil_ || !SameText(typed, code_)) return std::nullopt;
    code_.clear();
    std::string token;
    static constexpr char Hex[] = "0123456789abcdef";
    for (const char byte : RandomBytes(32)) {
        token += Hex[static_cast<unsigned char>(byte) >> 4];
        token += Hex[static_cast<unsigned char>(byte) & 15];
    }
    tokens_.push_back(token);
    return token;
}

bool TKeypadPairing::Paired(std::string_view token) const {
    bool paired = false;
    for (const std::string& known : tokens_)
        paired |= SameText(token, known);
    return paired;
}

} // namespace brennix
