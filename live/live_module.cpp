// The module the program loads for the live board: the server behind TLiveBoardModule, and the
// addresses of this machine a browser can open it at.
#include "live_module.h"

#include "live_server.h"

#include <QNetworkInterface>

namespace brennix {

namespace {

std::string Url(const QHostAddress& address, quint16 port) {
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
                             ? u'[' + address.toString() + u']'
                             : address.toString();
    return QStringLiteral("http://%1:%2/").arg(host).arg(port).toStdString();
}

class TLiveBoard final : public TLiveBoardModule {
  public:
    explicit TLiveBoard(const TLiveLimits& limits) : server_(limits) {}

    QString Listen(const QString& address, quint16 port) override {
        if (!address.isEmpty() && !listening_.setAddress(address))
            return QStringLiteral("\"%1\" is not an IP address").arg(address);
        return server_.Listen(listening_, port);
    }

    quint16 Port() const override { return server_.Port(); }

    std::vector<std::string> Addresses() const override {
        const quint16 port = server_.Port();
        if (listening_ != QHostAddress(QHostAddress::Any) &&
            listening_ != QHostAddress(QHostAddress::AnyIPv4) &&
            listening_ != QHostAddress(QHostAddress::AnyIPv6))
            return {Url(listening_, port)};
        std::vector<std::string> urls;
        for (const QHostAddress& address : QNetworkInterface::allAddresses())
            if (!address.isLoopback() && !address.isLinkLocal() &&
                (address.protocol() == QAbstractSocket::IPv4Protocol ||
                 listening_ != QHostAddress(QHostAddress::AnyIPv4)))
                urls.push_back(Url(address, port));
        urls.push_back(Url(QHostAddress(QHostAddress::LocalHost), port) + " (this machine)");
        return urls;
    }

    void Publish(const QByteArray& stateJson) override { server_.Publish(stateJson); }

  private:
    TLiveServer server_;
    QHostAddress listening_{QHostAddress::Any};
};

} // namespace

} // namespace brennix

extern "C" Q_DECL_EXPORT brennix::TLiveBoardModule*
BrennixCreateLiveBoard(int version, const brennix::TLiveLimits& limits) {
    static_assert(std::is_same_v<decltype(&BrennixCreateLiveBoard), brennix::TLiveModuleFactory>);
    if (version != brennix::LiveModuleInterface) return nullptr;
    return new brennix::TLiveBoard(limits);
}
