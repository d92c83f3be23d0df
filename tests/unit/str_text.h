// The text of a Str for comparisons in the unit tests: its `len` bytes,
// zero bytes included; "" when it has no buffer. No Windows in it: the
// string layer's tests also build natively.
#pragma once

#include <string>

#include "str.h"

inline std::string Text(const Str& s) {
    return s.data ? std::string(s.data, static_cast<size_t>(s.len)) : std::string();
}
