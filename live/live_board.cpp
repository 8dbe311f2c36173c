#include "live_board.h"

#include "live_switch.h"
#include "ui/form1.h"
#include "ui/messages.h"

#include <QNetworkInterface>
#include <QPointer>
#include <ostream>

namespace brennix {

namespace {

std::string Url(const QHostAddress& address, quint16 port) {
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
                             ? u'[' + address.toString() + u']'
                             : address.toString();
    return QStringLiteral("http://%1:%2/").arg(host).arg(port).toStdString();
}

// Where the board can be opened: every address of this machine when it listens on all of them.
void PrintAddresses(std::ostream& out, const QHostAddress& listening, quint16 port) {
    out << "Live board: open one of these in a browser on a TV or phone:\n";
    if (listening != QHostAddress(QHostAddress::Any) &&
        listening != QHostAddress(QHostAddress::AnyIPv4) &&
        listening != QHostAddress(QHostAddress::AnyIPv6)) {
        out << "  " << Url(listening, port) << '\n';
    } else {
        for (const QHostAddress& address : QNetworkInterface::allAddresses())
            if (!address.isLoopback() && !address.isLinkLocal() &&
                (address.protocol() == QAbstractSocket::IPv4Protocol ||
                 listening != QHostAddress(QHostAddress::AnyIPv4)))
                out << "  " << Url(address, port) << '\n';
        out << "  " << Url(QHostAddress(QHostAddress::LocalHost), port) << " (this machine)\n";
    }
    out.flush();
}

} // namespace

std::unique_ptr<TLiveServer> StartLiveBoard(const std::vector<std::string>& arguments,
                                            TForm1& window, std::ostream& out, TLiveLimits limits) {
    const std::optional<TLiveSwitch> live = FindLiveSwitch(arguments);
    if (!live) return nullptr;
    auto server = std::make_unique<TLiveServer>(limits);
    const QString reason =
        live->Error.isEmpty() ? server->Listen(live->Address, live->Port) : live->Error;
    if (!reason.isEmpty()) {
        const QString text = QStringLiteral("The live board could not be started on %1: %2.")
                                 .arg(live->Text, reason);
        out << text.toStdString() << std::endl;
        ShowMessageBox(&window, TMessageKind::Warning, text.toStdString());
        return nullptr;
    }
    PrintAddresses(out, live->Address, server->Port());
    QPointer<TLiveServer> watcher = server.get();
    window.AddBoardObserver([watcher](const TBoardView& view) {
        if (watcher) watcher->Publish(view);
    });
    return server;
}

} // namespace brennix
