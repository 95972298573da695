#include "model/errors.h"

#include <new>

namespace verselane {

const char* ErrorKindText(ErrorKind kind) {
    switch (kind) {
        case ErrorKind::Overflow:
            return "Overflow";
        case ErrorKind::SubscriptOutOfRange:
            return "Subscript out of range";
        case ErrorKind::DivisionByZero:
            return "Division by zero";
        case ErrorKind::InvalidArgument:
            return "Invalid procedure call or argument";
        case ErrorKind::OutOfMemory:
            return "Out of memory";
        case ErrorKind::FileNotFound:
            return "File not found";
        case ErrorKind::FileAccess:
            return "File access error";
    }
    return "Unknown error";
}

static std::string Describe(ErrorKind kind, const std::string& detail) {
    std::string text = ErrorKindText(kind);
    if (!detail.empty()) text += ": " + detail;
    return text;
}

RuntimeError::RuntimeError(ErrorKind kind, const std::string& detail)
    : std::runtime_error(Describe(kind, detail)), kind_(kind), detail_(detail) {}

CaughtError CurrentError() {
    CaughtError error;
    try {
        throw;
    } catch (const RuntimeError& e) {
        error.From = CaughtError::Runtime;
        error.Kind = e.Kind();
        error.Detail = e.Detail();
    } catch (const std::bad_alloc&) {
        error.From = CaughtError::OutOfMemory;
        error.Kind = ErrorKind::OutOfMemory;
    } catch (const std::exception& e) {
        error.From = CaughtError::Exception;
        error.Detail = e.what();
    } catch (...) {
    }
    return error;
}

void Raise(ErrorKind kind, const std::string& detail) {
    throw RuntimeError(kind, detail);
}

}  // namespace verselane
