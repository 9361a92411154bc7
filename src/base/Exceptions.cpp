#include "base/Exceptions.h"

namespace zorvex {

EAssertionFailed::EAssertionFailed(const std::string& unit)
    : Exception("Assertion failure (" + unit + ")") {}

void Assert(bool condition, const char* unit) {
    if (!condition) throw EAssertionFailed(unit);
}

}  // namespace zorvex
