#pragma once

// The key is everything that arrives in one burst, on every platform. A
// key's codes (ESC [ A, a UTF-8 character) can arrive tens of milliseconds
// apart over ssh or a slow link, and a paste takes longer: after the first
// code, take what comes until the input has been quiet for key_quiet_ms, but
// no longer than about key_burst_ms in all, so that a key held down or an
// endless stream still ends the wait. 100 ms is below what a person notices.
constexpr int key_quiet_ms = 100;
constexpr int key_burst_ms = 2000;

// A monotonic clock in milliseconds, 64-bit on every platform so that it
// cannot overflow; each platform's key wait defines it.
long long monotonic_ms();

// take() waits up to key_quiet_ms for input and consumes what came; it is
// false when none came or the input failed.
template <typename Take> void take_burst(Take take)
{
    const long long end = monotonic_ms() + key_burst_ms;
    while (monotonic_ms() < end && take()) {
    }
}
