#include "errors.h"

namespace brennix {

EInOutError::EInOutError(int condition) : EInOutError(condition, InOutErrorText(condition)) {}

EInOutError::EInOutError(int code, std::string text) : EBrennixError(text), code_(code) {}

EInOutError EInOutError::FromHost(int hostError) {
    // A host number may equal one of the conditions' numbers; it still names itself.
    return EInOutError(hostError, "I/O error " + std::to_string(hostError));
}

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
