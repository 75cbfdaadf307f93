#pragma once

// The key is everything that arrives in one burst, on every platform. A
// key's codes (ESC [ A, a UTF-8 character) can arrive tens of milliseconds
// apart over ssh or a slow link, and a paste takes longer: after the first
// code, take what comes until the input has been quiet for key_quiet_ms, but
// no longer than key_burst_ms in all, so that a key held down or an endless
// stream still ends the wait. 100 ms is below what a person notices.
constexpr int key_quiet_ms = 100;
constexpr int key_burst_ms = 2000;

// A monotonic clock in milliseconds, 64-bit on every platform so that it
// cannot overflow; each platform's key wait defines it.
long long monotonic_ms();

// wait(ms) is 1 when input is ready within ms, 0 when none came or the input
// failed, -1 when a signal cut the wait short; take() consumes what is ready
// and is false when it cannot.
template <typename Wait, typename Take> void take_burst(Wait wait, Take take)
{
    const long long end = monotonic_ms() + key_burst_ms;
    for (long long left = key_burst_ms; left > 0; left = end - monotonic_ms()) {
        const int ready = wait(left < key_quiet_ms ? static_cast<int>(left) : key_quiet_ms);
        if (ready == 0 || (ready > 0 && !take()))
            return;
    }
}
