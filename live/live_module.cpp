// The module the program loads for the live board: the server behind TLiveBoardModule, and the
// addresses of this machine a browser can open it at.
#include "live_module.h"

#include "live_server.h"

#include "engine/background_thread.h"

#include <QNetworkInterface>
#include <QThread>

namespace brennix {

namespace {

std::string Url(const QHostAddress& address, quint16 port) {
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
                             ? u'[' + address.toString() + u']'
                             : address.toString();
    return QStringLiteral("http://%1:%2/").arg(host).arg(port).toStdString();
}

// The server lives in a thread of its own, which owns its sockets: whatever the clients do, the
// window's event loop does no network work. The window's calls cross over as plain data; a
// publish is queued and never waited for.
class TLiveBoard final : public TLiveBoardModule {
  public:
    explicit TLiveBoard(const TLiveLimits& limits) : server_(new TLiveServer(limits)) {
        thread_.setObjectName(QStringLiteral("live board"));
        server_->moveToThread(&thread_);
        thread_.start();
        // The pages are served beside the window's thread, never ahead of it.
        QMetaObject::invokeMethod(
            server_, [] { RunInBackground(); }, Qt::QueuedConnection);
    }
    ~TLiveBoard() override {
        QMetaObject::invokeMethod(
            server_, [server = server_] { delete server; }, Qt::BlockingQueuedConnection);
        thread_.quit();
        thread_.wait();
    }

    QString Listen(const QString& address, quint16 port) override {
        if (!address.isEmpty() && !listening_.setAddress(address))
            return QStringLiteral("\"%1\" is not an IP address").arg(address);
        QString reason;
        QMetaObject::invokeMethod(
            server_,
            [&] {
                reason = server_->Listen(listening_, port);
                port_ = server_->Port();
            },
            Qt::BlockingQueuedConnection);
        return reason;
    }

    quint16 Port() const override { return port_; }

    std::vector<std::string> Addresses() const override {
        const quint16 port = port_;
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

    void Publish(const QByteArray& stateJson) override {
        QMetaObject::invokeMethod(
            server_, [server = server_, stateJson] { server->Publish(stateJson); },
            Qt::QueuedConnection);
    }

    void PublishPlayers(const QByteArray& playersJson) override {
        QMetaObject::invokeMethod(
            server_, [server = server_, playersJson] { server->PublishPlayers(playersJson); },
            Qt::QueuedConnection);
    }

    void PublishHall(const QByteArray& hallJson) override {
        QMetaObject::invokeMethod(
            server_, [server = server_, hallJson] { server->PublishHall(hallJson); },
            Qt::QueuedConnection);
    }

    std::string KeypadAddress(const std::string& boardUrl) override {
        std::string address = boardUrl;
        while (!address.empty() && address.back() == '/') address.pop_back();
        return address + KeypadPairPath + server_->NewKeypadCode();
    }

    int KeypadCount() const override { return server_->KeypadCount(); }
    void ForgetKeypads() override { server_->ForgetKeypads(); }

    void SetKeypadHandler(TKeypadHandler handler) override {
        QMetaObject::invokeMethod(
            server_, [server = server_, handler] { server->SetKeypadHandler(handler); },
            Qt::QueuedConnection);
    }

    void AnswerKeypad(quint64 pad, qint64 id, const QString& why) override {
        QMetaObject::invokeMethod(
            server_, [server = server_, pad, id, why] { server->AnswerKeypad(pad, id, why); },
            Qt::QueuedConnection);
    }

    void PublishKeypadMode(const QByteArray& modeJson) override {
        QMetaObject::invokeMethod(
            server_, [server = server_, modeJson] { server->PublishKeypadMode(modeJson); },
            Qt::QueuedConnection);
    }

  private:
    QThread thread_;
    TLiveServer* server_; // in thread_, deleted there
    QHostAddress listening_{QHostAddress::Any};
    quint16 port_ = 0;
};

} // namespace

} // namespace brennix

extern "C" Q_DECL_EXPORT brennix::TLiveBoardModule*
BrennixCreateLiveBoard(int version, const brennix::TLiveLimits& limits) {
    static_assert(std::is_same_v<decltype(&BrennixCreateLiveBoard), brennix::TLiveModuleFactory>);
    if (version != brennix::LiveModuleInterface) return nullptr;
    return new brennix::TLiveBoard(limits);
}
