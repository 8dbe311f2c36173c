// The errors that end an event handler. Whatever the handler did before the error stays done;
// the window shows the error's text in the application's error box and the program goes on.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace brennix {

// Base of every error the program raises on purpose.
class EBrennixError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A text that should have been a whole number and is not one.
class EConvertError : public EBrennixError {
  public:
    using EBrennixError::EBrennixError;
};

// A game file could not be created, opened, read, written or closed. The code is one of the
// conditions below, or, for any other failure, the host system's own error number, shown as
// "I/O error " + number.
class EInOutError : public EBrennixError {
  public:
    explicit EInOutError(int condition);
    static EInOutError FromHost(int hostError);
    int Code() const { return code_; }

  private:
    EInOutError(int code, std::string text);
    int code_;
};

// The playback service could not open a sound file (or has no device to play it on).
class EMediaError : public EBrennixError {
  public:
    using EBrennixError::EBrennixError;
};

// Input/output error codes and their texts.
inline constexpr int IoFileNotFound = 2;
inline constexpr int IoInvalidFilename = 3;
inline constexpr int IoTooManyOpenFiles = 4;
inline constexpr int IoAccessDenied = 5;
inline constexpr int IoReadBeyondEnd = 100;
inline constexpr int IoDiskFull = 101;

// "File not found", "Invalid filename", ... or "I/O error " + code for any other code.
std::string InOutErrorText(int code);

// The text of the error box: the message, with a full stop added when its last character sorts
// after "." (so "Invalid filename" becomes "Invalid filename." while "Oops." stays as it is).
std::string ErrorBoxText(std::string_view message);

} // namespace brennix
