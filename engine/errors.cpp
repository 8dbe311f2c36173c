#include "errors.h"

namespace brennix {

EInOutError::EInOutError(int code) : EBrennixError(InOutErrorText(code)), code_(code) {}

std::string InOutErrorText(int code) {
    switch (code) {
    case IoFileNotFound:
        return "File not found";
    case IoInvalidFilename:
        return "Invalid filename";
    case IoTooManyOpenFiles:
        return "Too many open files";
    case IoAccessDenied:
        return "File access denied";
    case IoReadBeyondEnd:
        return "Read beyond end of file";
    case IoDiskFull:
        return "Disk full";
    default:
        return "I/O error " + std::to_string(code);
    }
}

std::string ErrorBoxText(std::string_view message) {
    std::string text(message);
    // Compared as unsigned bytes, so a text ending in a non-ASCII byte also gets its full stop.
    if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') text += '.';
    return text;
}

} // namespace brennix
