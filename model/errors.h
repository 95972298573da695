// Run-time errors of the core and the checked arithmetic that raises them.
//
// Every field of fixed width (16-bit Integer, 32-bit Long, 8-bit Byte) is
// computed through the helpers below, so a value that does not fit its field
// becomes an Overflow error instead of a silent wrap-around. The file
// operations turn any of these errors into their returned message.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace verselane {

enum class ErrorKind {
    Overflow,
    SubscriptOutOfRange,
    DivisionByZero,
    InvalidArgument,
    OutOfMemory,
    FileNotFound,
    FileAccess,
};

// The description of a kind, as shown after "Error: " in the file messages.
const char* ErrorKindText(ErrorKind kind);

class RuntimeError : public std::runtime_error {
  public:
    // `detail`, when given, follows the kind's text: "File not found: /x.mid".
    RuntimeError(ErrorKind kind, const std::string& detail = {});
    ErrorKind Kind() const { return kind_; }
    // What was given as `detail`.
    const std::string& Detail() const { return detail_; }

  private:
    ErrorKind kind_;
    std::string detail_;
};

[[noreturn]] void Raise(ErrorKind kind, const std::string& detail = {});

// An error caught as a value, for a program to word.
struct CaughtError {
    enum Source {
        Runtime,      // a RuntimeError: `Kind` and `Detail`
        OutOfMemory,  // std::bad_alloc
        Exception,    // another exception: `Detail` is what it said
        Unknown,      // anything else
    };
    Source From = Unknown;
    ErrorKind Kind = ErrorKind::InvalidArgument;
    std::string Detail;
};

// The exception being handled as a value. Call it only inside a catch block.
CaughtError CurrentError();

// Narrowing with a range check: the value must fit the field. Inline, since
// the reader and writer check every event's numbers this way.
inline int16_t ToInt16(int64_t value) {
    if (value < INT16_MIN || value > INT16_MAX) Raise(ErrorKind::Overflow);
    return static_cast<int16_t>(value);
}
inline int32_t ToLong(int64_t value) {
    if (value < INT32_MIN || value > INT32_MAX) Raise(ErrorKind::Overflow);
    return static_cast<int32_t>(value);
}

// Sums and products in the width of the field.
inline int32_t AddLong(int32_t a, int32_t b) {
    return ToLong(int64_t{a} + b);
}
inline int16_t AddInteger(int16_t a, int16_t b) {
    return ToInt16(int32_t{a} + b);
}

}  // namespace verselane
