// One program per data folder: the first start claims the folder, a later one hands over to it,
// a lock left by a program that was killed is taken over, other folders are free.
#include "instance/single_instance.h"

#include <QLockFile>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
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
        QVERIFY(TSingleInstance::SocketName(folder) !=
                TSingleInstance::SocketName(other.path().toStdString() + "/"));
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
