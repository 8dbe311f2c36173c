#include "live_switch.h"

namespace brennix {

namespace {

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
    if (colon >= 0 && !live.Address.setAddress(host)) {
        live.Error = QStringLiteral("\"%1\" is not an IP address").arg(host);
        return live;
    }
    return live;
}

} // namespace

std::optional<TLiveSwitch> FindLiveSwitch(const std::vector<std::string>& arguments) {
    std::optional<TLiveSwitch> found;
    for (const std::string& argument : arguments) {
        const QString text = QString::fromLocal8Bit(argument);
        if (text == QStringLiteral("/live")) {
            found = TLiveSwitch{};
        } else if (text.startsWith(QStringLiteral("/live="))) {
            found = ReadValue(text.mid(6));
        } else {
            continue;
        }
        const bool v6 = found->Address.protocol() == QAbstractSocket::IPv6Protocol;
        const QString host = found->Address == QHostAddress(QHostAddress::Any)
                                 ? QStringLiteral("0.0.0.0")
                                 : found->Address.toString();
        found->Text = (v6 ? u'[' + host + u']' : host) + u':' + QString::number(found->Port);
        if (!found->Error.isEmpty()) found->Text = text.mid(6);
    }
    return found;
}

} // namespace brennix
