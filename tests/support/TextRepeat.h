// Long texts for the tests' boundary cases: `s` written `n` times over.
#pragma once

#include <cstddef>
#include <string>

namespace rm::test {

inline std::string Repeat(const std::string& s, size_t n) {
    std::string out;
    out.reserve(s.size() * n);
    for (size_t i = 0; i < n; ++i) out += s;
    return out;
}

}  // namespace rm::test
