// One Brennix per data folder. Two programs on the same folder would write the same autosave
// slots and settings file, so a second start hands over to the first: it asks the first to bring
// its window to the front and ends. Copies with data folders of their own run side by side.
//
// The first program holds a lock file in its data folder (a lock left by a program that was
// killed is taken over) and listens on a local socket named after the folder; the second finds
// the lock held and sends its request there. The socket lies in a folder only the user can enter
// ($XDG_RUNTIME_DIR, else /tmp/brennix-UID made with mode 0700), so no other user can take its
// place first; one left by a killed program is replaced. Only Qt Core and the C library are used,
// so that a start loads no network library. On Windows the socket is a named pipe (QLocalServer,
// windows/single_instance.cpp) open to this user only, named after the user and the folder.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QLocalServer;
class QLockFile;
class QSocketNotifier;

namespace brennix {

// The lock file in the data folder while a program uses it.
inline constexpr char InstanceLockName[] = "brennix.lock";

class TSingleInstance : public QObject {
  public:
    enum class TClaim {
        Ours,        // this program has the folder to itself; the guard is returned
        HandedOver,  // another program has it and was asked to come to the front
        Unreachable, // another program has it but did not take the request
        Unguarded    // no lock could be made (a read-only folder): this program goes on alone
    };

    ~TSingleInstance() override;

    // Claims `dataFolder` (with a trailing "/") for this program. With the claim `Ours` or
    // `Unguarded` the program starts; while the returned guard lives, a later start on the same
    // folder calls `raise` (through the event loop) and ends.
    static std::unique_ptr<TSingleInstance> Claim(const std::string& dataFolder,
                                                  std::function<void()> raise, TClaim& claim);

    // The local socket's path for a data folder: one per user and folder; "" when the user has
    // no private folder for it (then a later start cannot hand over).
    static std::string SocketPath(const std::string& dataFolder);

  private:
    TSingleInstance() = default;
    void Accept();

    std::unique_ptr<QLockFile> lock_;
    int listener_ = -1;
    std::string path_; // the socket's, while this program listens
    QSocketNotifier* notifier_ = nullptr;
    QLocalServer* server_ = nullptr; // Windows: the pipe listened on
    std::function<void()> raise_;
};

} // namespace brennix
