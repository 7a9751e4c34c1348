#pragma once
// A fuzz target's own property: a broken one stops the fuzzer like a crash,
// with the input that broke it saved.

namespace fota::fuzz {

inline void require(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

}  // namespace fota::fuzz
