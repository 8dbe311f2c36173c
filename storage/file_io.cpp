#include "file_io.h"

#include "engine/errors.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#ifdef _WIN32
#include <windows.h>
#endif

namespace brennix {

namespace {

#ifdef _WIN32
// Windows: bytes as they are (no text mode), not inherited by programs started later; a file is
// never waited on when opened.
constexpr int OpenFlags = O_BINARY | O_NOINHERIT;
constexpr int NoWait = 0;
#else
constexpr int OpenFlags = O_CLOEXEC;
constexpr int NoWait = O_NONBLOCK;
#endif

[[noreturn]] void Fail(int error) {
    throw IoErrorFromErrno(error);
}

// A file without any write permission counts as read-only for everybody, root included, so a
// write-protected game file is refused the same way whoever runs the program.
bool IsWriteProtected(const struct stat& info) {
    return S_ISREG(info.st_mode) && (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

// Opens an existing file for reading and writing, refusing a write-protected one.
int OpenExisting(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | OpenFlags);
    if (fd < 0) {
        // The file was there a moment ago; now it is not.
        if (errno == ENOENT) throw EInOutError(IoFileNotFound);
        Fail(errno);
    }
    struct stat info;
    int error = 0;
    if (::fstat(fd, &info) != 0)
        error = errno;
    else if (IsWriteProtected(info))
        error = EACCES;
    if (error != 0) {
        ::close(fd);
        Fail(error);
    }
    return fd;
}

// Reads up to `size` bytes of an open file. Raises EInOutError, the file closed.
std::vector<uint8_t> ReadUpTo(int fd, size_t size) {
    std::vector<uint8_t> bytes(size);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, bytes.data() + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            Fail(error);
        }
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    bytes.resize(done);
    return bytes;
}

// The template mkstemp fills with six letters or digits.
constexpr std::string_view TemporarySuffix = ".XXXXXX";

mode_t NewFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace

EInOutError IoErrorFromErrno(int error) {
    switch (error) {
    case ENOENT: // when creating: the folder is missing
    case ENOTDIR:
    case ENAMETOOLONG:
    case EINVAL:
    case ELOOP:
        return EInOutError(IoInvalidFilename);
    case EMFILE:
    case ENFILE:
        return EInOutError(IoTooManyOpenFiles);
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
        return EInOutError(IoAccessDenied);
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
    case EFBIG:
        return EInOutError(IoDiskFull);
    default:
        return EInOutError::FromHost(error);
    }
}

std::vector<uint8_t> ReadRecordFile(const std::string& path, size_t size) {
    const int fd = OpenExisting(path);
    std::vector<uint8_t> bytes = ReadUpTo(fd, size);
    if (::close(fd) != 0) Fail(errno);
    return bytes;
}

std::vector<uint8_t> ReadRegularFile(const std::string& path, size_t size) {
    const int fd = ::open(path.c_str(), O_RDONLY | NoWait | OpenFlags);
    if (fd < 0) {
        if (errno == ENOENT) throw EInOutError(IoFileNotFound);
        Fail(errno);
    }
    struct stat info;
    const bool known = ::fstat(fd, &info) == 0;
    const int error = errno;
    if (!known || !S_ISREG(info.st_mode)) {
        ::close(fd);
        if (!known) Fail(error);
        throw EBrennixError("not a regular file");
    }
    std::vector<uint8_t> bytes = ReadUpTo(fd, size);
    ::close(fd); // a file only read has nothing to lose when closing fails
    return bytes;
}

namespace {

// Writes all bytes to an open file; false with errno set when the disk or the system refuses.
bool WriteAll(int fd, std::span<const uint8_t> bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// The file a name stands for: a symbolic link is followed, so the linked file gets the bytes.
std::string RealTarget(const std::string& path) {
    std::error_code error;
    const std::filesystem::path real = std::filesystem::weakly_canonical(path, error);
    return error ? path : real.string();
}

// Where no new file can be made beside the target (a folder the user may not write to), the
// existing file is rewritten in place, as plain file systems always did.
void RewriteInPlace(const std::string& path, std::span<const uint8_t> bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | OpenFlags);
    if (fd < 0) Fail(errno);
    if (!WriteAll(fd, bytes)) {
        const int error = errno;
        ::close(fd);
        Fail(error);
    }
    if (::close(fd) != 0) Fail(errno);
}

} // namespace

void WriteRecordFile(const std::string& name, std::span<const uint8_t> bytes) {
    const std::string path = RealTarget(name);

    // The target must be one the operator could write to; its permissions carry over.
    mode_t mode = NewFileMode();
    struct stat info;
    const bool exists = ::stat(path.c_str(), &info) == 0;
    if (exists) {
        if (!S_ISREG(info.st_mode)) Fail(EISDIR);
        ::close(OpenExisting(path));
        mode = info.st_mode & 07777;
    }

    std::string temp = path + std::string(TemporarySuffix);
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        if (exists && (errno == EACCES || errno == EPERM)) return RewriteInPlace(path, bytes);
        Fail(errno);
    }
    auto abandon = [&](int error) {
        ::close(fd);
        ::unlink(temp.c_str());
        Fail(error);
    };
    if (!WriteAll(fd, bytes)) abandon(errno);
#ifdef _WIN32
    // Windows keeps no owner or mode bits to carry over: the new file is on the disk, then it
    // takes the old one's place, written through before the call returns.
    (void)mode;
    if (::_commit(fd) != 0) abandon(errno);
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        Fail(error);
    }
    if (!::MoveFileExA(temp.c_str(), path.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = ::GetLastError();
        ::unlink(temp.c_str());
        Fail(error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ? EACCES
             : error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL    ? ENOSPC
                                                                              : EIO);
    }
#else
    if (::fchmod(fd, mode) != 0 || ::fsync(fd) != 0) abandon(errno);
    if (exists && ::geteuid() == 0) {
        // Root saving somebody's file leaves it theirs.
        if (::fchown(fd, info.st_uid, info.st_gid) != 0) abandon(errno);
    }
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        Fail(error);
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        Fail(error);
    }
#endif
}

bool IsTemporaryNameOf(std::string_view name, std::string_view target) {
    if (name.size() != target.size() + TemporarySuffix.size() || !name.starts_with(target) ||
        name[target.size()] != '.')
        return false;
    const std::string_view random = name.substr(target.size() + 1);
    return std::all_of(random.begin(), random.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    });
}

void RemoveStaleTemporaries(const std::string& folder,
                            const std::function<bool(std::string_view)>& isTarget) {
    std::error_code error;
    std::filesystem::directory_iterator entries(folder, error);
    if (error) return; // no such folder: nothing was ever written there
    std::vector<std::filesystem::path> stale;
    for (; entries != std::filesystem::directory_iterator(); entries.increment(error)) {
        if (error) return;
        const std::string name = entries->path().filename().string();
        if (name.size() <= TemporarySuffix.size()) continue;
        const std::string_view target =
            std::string_view(name).substr(0, name.size() - TemporarySuffix.size());
        // mkstemp makes regular files only; a link or a folder of such a name is somebody else's.
        // A save lasts milliseconds: a file written within the last minute may belong to a save
        // another Brennix is making right now, so it stays.
        if (IsTemporaryNameOf(name, target) && isTarget(target) &&
            entries->symlink_status(error).type() == std::filesystem::file_type::regular &&
            entries->last_write_time(error) <
                std::filesystem::file_time_type::clock::now() - TemporaryFileLifetime)
            stale.push_back(entries->path());
    }
    for (const std::filesystem::path& path : stale)
        ::unlink(path.string().c_str()); // a file that cannot be removed stays
}

} // namespace brennix
