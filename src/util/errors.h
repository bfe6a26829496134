// Error types that travel through the handlers. Each carries the text that
// the operator finally sees, so a handler that does not catch an error lets
// the default error report show exactly that text.
#pragma once

#include <stdexcept>
#include <string>

namespace velimo {

// Base of every error the program raises on purpose.
class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

// A text that should hold an integer does not: "'abc' is not a valid integer value".
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// A token asked for beyond the end of the answer tokens of a response line.
class ERangeError : public Exception {
 public:
  using Exception::Exception;
};

// A file operation failed; carries the operating system's error code and,
// where the raiser knows them, the reason in words ("No space left on
// device", "not a regular file") and the file's path.
class EInOutError : public Exception {
 public:
  EInOutError(const std::string& message, int errorCode, std::string reason = {},
              std::string path = {})
      : Exception(message),
        error_code_(errorCode),
        reason_(std::move(reason)),
        path_(std::move(path)) {}
  int ErrorCode() const { return error_code_; }
  const std::string& Reason() const { return reason_; }
  const std::string& Path() const { return path_; }

 private:
  int error_code_;
  std::string reason_;
  std::string path_;
};

}  // namespace velimo
