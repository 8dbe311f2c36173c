#include "single_instance.h"

#include <QCryptographicHash>
#include <QLockFile>
#include <QSocketNotifier>
#include <QThread>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace brennix {

namespace {

constexpr char Request[] = "raise\n";
constexpr int ConnectAttempts = 40; // 50 ms apart: two seconds for a program still starting
constexpr int ConnectPauseMs = 50;

// A folder of this user's (not a link) that no other user can enter, so nobody else can put a
// socket there.
bool Private(const std::string& folder) {
    struct stat info {};
    return ::lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::getuid() && (info.st_mode & 077) == 0;
}

// The user's runtime folder when it is private, else one made for the purpose; "" for none.
std::string PrivateFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/' && Private(runtime)) return std::string(runtime) + "/";
    const std::string folder = "/tmp/brennix-" + std::to_string(::getuid());
    ::mkdir(folder.c_str(), 0700);
    return Private(folder) ? folder + "/" : "";
}

sockaddr_un AddressOf(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.data(), path.size()); // SocketPath checked the length
    return address;
}

// Sends the request to the program listening on `path`; false when nobody took it.
bool SendRequest(const std::string& path) {
    if (path.empty()) return false;
    for (int attempt = 0; attempt < ConnectAttempts; ++attempt) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) return false;
        const sockaddr_un address = AddressOf(path);
        const bool sent =
            ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
            ::send(fd, Request, sizeof Request - 1, MSG_NOSIGNAL) ==
                static_cast<ssize_t>(sizeof Request - 1);
        ::close(fd);
        if (sent) return true;
        QThread::msleep(ConnectPauseMs); // the first program may not listen yet
    }
    return false;
}

} // namespace

TSingleInstance::~TSingleInstance() {
    delete notifier_;
    if (listener_ >= 0) ::close(listener_);
    if (!path_.empty()) ::unlink(path_.c_str()); // the lock is still held
}

std::string TSingleInstance::SocketPath(const std::string& dataFolder) {
    const QByteArray hash =
        QCryptographicHash::hash(QByteArray::fromStdString(dataFolder), QCryptographicHash::Sha256)
            .toHex()
            .left(32);
    const std::string folder = PrivateFolder();
    const std::string path = folder + "brennix-" + hash.toStdString();
    return folder.empty() || path.size() >= sizeof(sockaddr_un::sun_path) ? "" : path;
}

std::unique_ptr<TSingleInstance>
TSingleInstance::Claim(const std::string& dataFolder, std::function<void()> raise, TClaim& claim) {
    std::unique_ptr<TSingleInstance> guard(new TSingleInstance);
    guard->lock_ =
        std::make_unique<QLockFile>(QString::fromStdString(dataFolder + InstanceLockName));
    // Only a lock whose program has ended is stale, however old it is.
    guard->lock_->setStaleLockTime(0);
    const std::string path = SocketPath(dataFolder);
    if (!guard->lock_->tryLock(0)) {
        if (guard->lock_->error() != QLockFile::LockFailedError) {
            claim = TClaim::Unguarded;
            return nullptr;
        }
        claim = SendRequest(path) ? TClaim::HandedOver : TClaim::Unreachable;
        return nullptr;
    }

    guard->raise_ = std::move(raise);
    guard->listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const sockaddr_un address = AddressOf(path);
    const auto* at = reinterpret_cast<const sockaddr*>(&address);
    ::unlink(path.c_str()); // left by a killed program: the lock says this one is first
    if (guard->listener_ >= 0 && !path.empty() &&
        ::bind(guard->listener_, at, sizeof address) == 0 && ::listen(guard->listener_, 8) == 0) {
        guard->path_ = path;
        guard->notifier_ = new QSocketNotifier(guard->listener_, QSocketNotifier::Read);
        connect(guard->notifier_, &QSocketNotifier::activated, guard.get(),
                [raw = guard.get()] { raw->Accept(); });
    }
    claim = TClaim::Ours;
    return guard;
}

// A request: from this user only, and only the one line a later start sends.
void TSingleInstance::Accept() {
    const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return;
    ucred peer{};
    socklen_t size = sizeof peer;
    char buffer[sizeof Request - 1] = {};
    timeval wait{0, 200000}; // a sender writes its line at once; nobody holds the window up
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    const bool ours =
        ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == ::getuid();
    const bool request =
        ours &&
        ::recv(fd, buffer, sizeof buffer, MSG_WAITALL) == static_cast<ssize_t>(sizeof buffer) &&
        std::memcmp(buffer, Request, sizeof buffer) == 0;
    ::close(fd);
    if (request && raise_) raise_();
}

} // namespace brennix
