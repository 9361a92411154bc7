#pragma once

#include <exception>
#include <string>

namespace zorvex {

// Base of every failure the program reports; the message is UTF-8 and is what
// the top-level handler shows in its error box.
class Exception : public std::exception {
public:
    explicit Exception(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& Message() const noexcept { return message_; }

private:
    std::string message_;
};

// A text that does not convert to a number, a date or another code page.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// An internal consistency check failed; carries the unit in which it failed.
class EAssertionFailed : public Exception {
public:
    explicit EAssertionFailed(const std::string& unit);
};

// Raises EAssertionFailed for `unit` ("uMain", "uReportForm", ...) when the condition is false.
void Assert(bool condition, const char* unit);

}  // namespace zorvex
