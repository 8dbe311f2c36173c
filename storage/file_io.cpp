#include "file_io.h"

#include "engine/errors.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace brennix {

namespace {

[[noreturn]] void Fail(int error) {
    throw EInOutError(IoCodeFromErrno(error));
}

// A file without any write permission counts as read-only for everybody, root included, so a
// write-protected game file is refused the same way whoever runs the program.
bool IsWriteProtected(const struct stat& info) {
    return S_ISREG(info.st_mode) && (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

// Opens an existing file for reading and writing, refusing a write-protected one.
int OpenExisting(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
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

mode_t NewFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace

int IoCodeFromErrno(int error) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
    case EINVAL:
    case ELOOP:
        return IoInvalidFilename;
    case EMFILE:
    case ENFILE:
        return IoTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
        return IoAccessDenied;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return IoDiskFull;
    default:
        return error;
    }
}

std::vector<uint8_t> ReadRecordFile(const std::string& path, size_t size) {
    const int fd = OpenExisting(path);
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
    if (::close(fd) != 0) Fail(errno);
    bytes.resize(done);
    return bytes;
}

void WriteRecordFile(const std::string& path, std::span<const uint8_t> bytes) {
    // The target must be one the operator could write to; its permissions carry over.
    mode_t mode = NewFileMode();
    struct stat info;
    if (::stat(path.c_str(), &info) == 0) {
        if (!S_ISREG(info.st_mode)) Fail(EISDIR);
        const int fd = OpenExisting(path);
        ::close(fd);
        mode = info.st_mode & 07777;
    }

    std::string temp = path + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) Fail(errno);
    auto abandon = [&](int error) {
        ::close(fd);
        ::unlink(temp.c_str());
        Fail(error);
    };

    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) abandon(errno);
        if (n == 0) abandon(ENOSPC);
        done += static_cast<size_t>(n);
    }
    if (::fchmod(fd, mode) != 0 || ::fsync(fd) != 0) abandon(errno);
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
}

} // namespace brennix
