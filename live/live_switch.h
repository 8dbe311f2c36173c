// The command-line switch that starts the live board: "/live" (port 8010 on every interface),
// "/live=PORT" or "/live=ADDRESS:PORT" ("/live=[::1]:PORT" for an IPv6 address).
#pragma once

#include "engine/run_options.h"

#include <QString>
#include <optional>

namespace brennix {

inline constexpr quint16 LiveDefaultPort = 8010;

struct TLiveSwitch {
    QString Address; // an IP address ("127.0.0.1", "::1"); empty for every interface
    quint16 Port = LiveDefaultPort;
    QString Text;  // the address as the operator wrote it, for messages ("0.0.0.0:8010")
    QString Error; // why the switch could not be read; empty when it could
};

// The live switch of the run's options, or none.
std::optional<TLiveSwitch> LiveSwitchOf(const TRunOptions& options);

} // namespace brennix
