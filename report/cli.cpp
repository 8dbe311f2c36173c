#include "cli.h"

#include "text.h"

#include "engine/errors.h"
#include "storage/bytes.h"
#include "storage/file_io.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <ostream>
#include <sys/stat.h>
#include <unistd.h>

namespace brennix::report {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view Program = "brennix-report";

constexpr std::string_view Usage =
    R"(Usage: brennix-report [--format text|json|csv|html] [-o OUT] FILE|FOLDER ...

Writes a report of Brennix game files (.bx3): the game type and match format, the
player to throw, the leg and set starters, and for every player the name, remaining
score, sets, legs, points, the 40+/60+/100+/140+/180 counters, leg and match
three-dart averages, darts in the leg and in the match, the darts of every won leg
and the best leg, and the stored visits, newest first.

A FOLDER stands for every *.bx3 file directly in it, in name order. Files are only
read. A file that cannot be reported is named on standard error with the reason,
the others are still reported, and the exit status is 1.

Options:
  -f, --format FORMAT  text (default, aligned tables), json, csv (one row per
                       player) or html (a printable page with charts)
  -o, --output OUT     write the report to OUT instead of standard output
  -h, --help           show this help and exit
)";

// Closes a descriptor when it goes out of scope.
struct TFd {
    int Fd;
    ~TFd() {
        if (Fd >= 0) ::close(Fd);
    }
};

std::optional<TFormat> FormatNamed(std::string_view name) {
    if (name == "text") return TFormat::Text;
    if (name == "json") return TFormat::Json;
    if (name == "csv") return TFormat::Csv;
    if (name == "html") return TFormat::Html;
    return std::nullopt;
}

void Complain(std::ostream& err, const std::string& path, const std::string& reason) {
    err << Program << ": " << Printable(PathToUtf8(path)) << ": " << reason << "\n";
}

bool IsDirectory(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Whether two paths name the same existing file.
bool SameFile(const std::string& one, const std::string& other) {
    struct stat a, b;
    return ::stat(one.c_str(), &a) == 0 && ::stat(other.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}

} // namespace

TGameFileRecord ReadGameFile(const std::string& path) {
    // Read-only and without waiting on a pipe: a write-protected archive reads like any file.
    const TFd file{::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)};
    if (file.Fd < 0) {
        if (errno == ENOENT) throw EInOutError(IoFileNotFound);
        throw IoErrorFromErrno(errno);
    }
    struct stat info;
    if (::fstat(file.Fd, &info) != 0) throw IoErrorFromErrno(errno);
    if (!S_ISREG(info.st_mode)) throw EBrennixError("not a regular file");
    // Only the record's bytes are read, however long the file.
    std::vector<uint8_t> bytes(GameFileSize);
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::read(file.Fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw IoErrorFromErrno(errno);
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    bytes.resize(done);
    try {
        return GameFromFile(bytes, path);
    } catch (const EInOutError& error) {
        if (error.Code() != IoReadBeyondEnd) throw;
        throw EBrennixError("not a game file: " + std::to_string(done) +
                            " bytes, a game file has " + std::to_string(GameFileSize));
    } catch (const EBrennixError&) {
        // The reader refuses a player count outside 1-8.
        throw EBrennixError("not a game file: player count " +
                            std::to_string(GetInt32(bytes.data())) + ", not 1-" +
                            std::to_string(MaxPlayers));
    }
}

std::vector<std::string> GameFilesIn(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        std::error_code ignored;
        if (name.size() > 4 && name.ends_with(".bx3") && !it->is_directory(ignored))
            names.push_back(name);
    }
    if (error) throw EBrennixError(error.message());
    std::sort(names.begin(), names.end());
    std::vector<std::string> paths;
    for (const std::string& name : names)
        paths.push_back((fs::path(folder) / name).string());
    return paths;
}

int RunReport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    TFormat format = TFormat::Text;
    std::optional<std::string> output;
    std::vector<std::string> inputs;
    auto wrong = [&](const std::string& message) {
        err << Program << ": " << message << "\n"
            << "Try '" << Program << " --help' for more information.\n";
        return 2;
    };
    bool options = true;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!options || arg == "-" || !arg.starts_with("-")) {
            inputs.push_back(arg);
            continue;
        }
        if (arg == "--") {
            options = false;
            continue;
        }
        if (arg == "-h" || arg == "--help") {
            out << Usage;
            return 0;
        }
        // An option with a value: "--format csv", "--format=csv", "-f csv" or "-fcsv".
        std::optional<std::string> value;
        std::string name = arg;
        if (arg.starts_with("--") && arg.find('=') != std::string::npos) {
            name = arg.substr(0, arg.find('='));
            value = arg.substr(arg.find('=') + 1);
        } else if (!arg.starts_with("--") && arg.size() > 2) {
            name = arg.substr(0, 2);
            value = arg.substr(2);
        }
        const bool isFormat = name == "-f" || name == "--format";
        const bool isOutput = name == "-o" || name == "--output";
        if (!isFormat && !isOutput) return wrong("unknown option '" + arg + "'");
        if (!value) {
            if (i + 1 >= args.size()) return wrong("option '" + arg + "' needs a value");
            value = args[++i];
        }
        if (isOutput) {
            output = *value;
        } else if (const auto named = FormatNamed(*value)) {
            format = *named;
        } else {
            return wrong("unknown format '" + *value + "' (text, json, csv or html)");
        }
    }
    if (inputs.empty()) return wrong("no game file or folder given");

    // The report only reads: it never writes over a folder or over a file it reads.
    if (output && IsDirectory(*output)) {
        Complain(err, *output, "is a folder");
        return 2;
    }

    int status = 0;
    bool readsOutput = false;
    std::vector<TReportGame> games;
    auto report = [&](const std::string& path) {
        if (output && SameFile(path, *output)) {
            Complain(err, *output, "is one of the game files read; nothing was written");
            readsOutput = true;
            return;
        }
        try {
            games.push_back(ReportGame(ReadGameFile(path), path));
        } catch (const EBrennixError& error) {
            Complain(err, path, error.what());
            status = 1;
        }
    };
    for (const std::string& input : inputs) {
        if (!IsDirectory(input)) {
            report(input);
            continue;
        }
        try {
            for (const std::string& path : GameFilesIn(input))
                report(path);
        } catch (const EBrennixError& error) {
            Complain(err, input, error.what());
            status = 1;
        }
    }

    if (readsOutput) return 2;
    // A run that reported nothing leaves an earlier report in place.
    if (output && games.empty()) return status;
    const std::string text = FormatReport(format, games);
    if (!output) {
        out << text << std::flush;
        if (!out) {
            err << Program << ": cannot write the report\n";
            return 1;
        }
        return status;
    }
    try {
        // All or nothing: a new file in the same folder takes the old one's place when complete.
        WriteRecordFile(*output, {reinterpret_cast<const uint8_t*>(text.data()), text.size()});
    } catch (const EBrennixError& error) {
        Complain(err, *output, error.what());
        return 1;
    }
    return status;
}

} // namespace brennix::report
