#include "live_switch.h"

#include <arpa/inet.h>

namespace brennix {

namespace {

// An IP address as text in its usual form, an IPv6 address perhaps with its scope
// ("fe80::1%eth0"): the same address as inet_ntop writes it, or none. The C library reads it,
// so the switch is read without loading the network libraries the live board's module brings.
std::optional<QString> ReadAddress(const QString& text) {
    const qsizetype percent = text.indexOf(u'%');
    const QString scope = percent >= 0 ? text.mid(percent) : QString();
    const QByteArray address = text.left(percent >= 0 ? percent : text.size()).toLatin1();
    char written[INET6_ADDRSTRLEN] = {};
    in_addr v4{};
    if (scope.isEmpty() && inet_pton(AF_INET, address.constData(), &v4) == 1 &&
        inet_ntop(AF_INET, &v4, written, sizeof written))
        return QString::fromLatin1(written);
    in6_addr v6{};
    if (inet_pton(AF_INET6, address.constData(), &v6) == 1 &&
        inet_ntop(AF_INET6, &v6, written, sizeof written) && scope != u"%")
        return QString::fromLatin1(written) + scope;
    return std::nullopt;
}

std::optional<quint16> ParsePort(const QString& text) {
    bool ok = false;
    const uint port = text.toUInt(&ok, 10);
    if (!ok || port > 65535 || text.startsWith(u'+')) return std::nullopt; // 0: any free port
    return static_cast<quint16>(port);
}

TLiveSwitch ReadValue(const QString& value) {
    TLiveSwitch live;
    QString host;
    QString port = value;
    const qsizetype colon = value.lastIndexOf(u':');
    if (colon >= 0) {
        host = value.left(colon);
        port = value.mid(colon + 1);
        if (host.startsWith(u'[') && host.endsWith(u']')) host = host.mid(1, host.size() - 2);
    }
    if (const auto number = ParsePort(port)) {
        live.Port = *number;
    } else {
        live.Error = QStringLiteral("\"%1\" is not a port number (0-65535)").arg(port);
        return live;
    }
    if (colon >= 0) {
        const std::optional<QString> address = ReadAddress(host);
        if (!address) {
            live.Error = QStringLiteral("\"%1\" is not an IP address").arg(host);
            return live;
        }
        live.Address = *address;
    }
    return live;
}

} // namespace

std::optional<TLiveSwitch> LiveSwitchOf(const TRunOptions& options) {
    if (!options.Live) return std::nullopt;
    const std::optional<QString> value =
        options.LiveAddress ? std::optional(QString::fromLocal8Bit(*options.LiveAddress))
                            : std::nullopt;
    TLiveSwitch live = value ? ReadValue(*value) : TLiveSwitch{};
    const bool v6 = live.Address.contains(u':');
    const QString host = live.Address.isEmpty() ? QStringLiteral("0.0.0.0") : live.Address;
    live.Text = (v6 ? u'[' + host + u']' : host) + u':' + QString::number(live.Port);
    if (!live.Error.isEmpty()) live.Text = *value;
    return live;
}

} // namespace brennix
