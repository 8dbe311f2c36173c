// One program per data folder: the first start claims the folder, a later one hands over to it,
// a lock left by a program that was killed is taken over, other folders are free.
#include "instance/single_instance.h"

#include <QCryptographicHash>
#include <QLockFile>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace brennix;
using TClaim = TSingleInstance::TClaim;

namespace {

// A child process holding the lock of `folder`: it ends at once without letting go (a killed
// program) or waits until it is killed (a program that does not answer).
pid_t LockInChild(const QString& folder, bool stay) {
    const pid_t child = ::fork();
    if (child == 0) {
        QLockFile lock(folder + QString::fromLatin1(InstanceLockName));
        if (!lock.tryLock(0)) ::_exit(1);
        if (stay) ::pause();
        ::_exit(0); // the lock file stays behind
    }
    return child;
}

// Listens on `path` (one that begins with '\0' in the abstract namespace); -1 when it cannot.
int Listen(const std::string& path) {
    sockaddr_un address{AF_UNIX, {}};
    path.copy(address.sun_path, path.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size());
    return ::bind(fd, reinterpret_cast<sockaddr*>(&address), length) || ::listen(fd, 8) ? -1 : fd;
}

} // namespace

class InstanceTest : public QObject {
    Q_OBJECT

  private slots:
    void aSecondStartHandsOverToTheFirst() {
        QTemporaryDir one, other;
        const std::string folder = one.path().toStdString() + "/";
        int raised = 0;
        TClaim claim{};
        const auto first = TSingleInstance::Claim(
            folder, [&] { ++raised; }, claim);
        QCOMPARE(claim, TClaim::Ours);
        QVERIFY(first);
        QVERIFY(QFileInfo::exists(one.filePath(InstanceLockName)));

        QVERIFY(!TSingleInstance::Claim(
            folder, [] {}, claim));
        QCOMPARE(claim, TClaim::HandedOver);
        QTRY_COMPARE(raised, 1);

        // Another folder is another program's.
        const auto beside = TSingleInstance::Claim(
            other.path().toStdString() + "/", [] {}, claim);
        QCOMPARE(claim, TClaim::Ours);
        QVERIFY(TSingleInstance::SocketPath(folder) !=
                TSingleInstance::SocketPath(other.path().toStdString() + "/"));
        QCOMPARE(raised, 1);
    }

    void theLockOfAKilledProgramIsTakenOver() {
        QTemporaryDir dir;
        const pid_t child = LockInChild(dir.path() + "/", false);
        int status = -1;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QCOMPARE(WEXITSTATUS(status), 0);
        QVERIFY(QFileInfo::exists(dir.filePath(InstanceLockName)));
        TClaim claim{};
        QVERIFY(TSingleInstance::Claim(
            dir.path().toStdString() + "/", [] {}, claim));
        QCOMPARE(claim, TClaim::Ours);
    }

    // Another user listening on the name the folder's socket once had (in the abstract
    // namespace), a socket file left by a killed program, a runtime folder others can enter: the
    // first start listens in a folder of its own, and a second start reaches it.
    void noSocketStopsAStart() {
        QTemporaryDir dir, runtime;
        const std::string folder = dir.path().toStdString() + "/", uid = std::to_string(::getuid());
        const QByteArray hash =
            QCryptographicHash::hash(folder.c_str(), QCryptographicHash::Sha256);
        const int squatter = Listen('\0' + ("brennix-" + uid + "-") + hash.toHex().left(32).data());
        QVERIFY(squatter >= 0);
        QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                  QFile::ExeOwner | QFile::ExeOther);
        qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
        const std::string path = TSingleInstance::SocketPath(folder);
        QCOMPARE(path.substr(0, path.rfind('/')), "/tmp/brennix-" + uid);
        QCOMPARE(::close(Listen(path)), 0); // its file stays
        int raised = 0;
        TClaim claim{};
        const auto first = TSingleInstance::Claim(
            folder, [&] { ++raised; }, claim);
        QVERIFY(!TSingleInstance::Claim(
            folder, [] {}, claim));
        QTRY_COMPARE(raised, 1);
        ::close(squatter);
        qunsetenv("XDG_RUNTIME_DIR");
    }

    // A program that holds the folder but takes no request, and a folder that cannot be locked.
    void whatCannotBeClaimed() {
        QTemporaryDir dir;
        const pid_t child = LockInChild(dir.path() + "/", true);
        QTRY_VERIFY(QFileInfo::exists(dir.filePath(InstanceLockName)));
        TClaim claim{};
        QVERIFY(!TSingleInstance::Claim(
            dir.path().toStdString() + "/", [] {}, claim));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        QCOMPARE(claim, TClaim::Unreachable);

        QVERIFY(!TSingleInstance::Claim(
            dir.path().toStdString() + "/missing/", [] {}, claim));
        QCOMPARE(claim, TClaim::Unguarded);
    }
};

QTEST_GUILESS_MAIN(InstanceTest)
#include "instance_test.moc"
