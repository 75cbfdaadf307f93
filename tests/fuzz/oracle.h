#pragma once
// The check's contract, stated independently of the code under test, and the
// common frame of both fuzz targets.

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string>

struct verdict {
    std::string trace; // the whole trace line, empty when none is due
    int code;
};

// The verdict for a token of `length` bytes.
inline verdict expected_verdict(const unsigned char *token, size_t length)
{
    if (length != 10)
        return {"", -2};
    long sum = 0;
    for (size_t i = 0; i < 10; ++i) {
        long value = (token[i] < 128 ? long{token[i]} : long{token[i]} - 256) - '0';
        if (i == 9 && (token[i] == 'X' || token[i] == 'x'))
            value = 10;
        sum += static_cast<long>(10 - i) * value;
    }
    return {"gokei = " + std::to_string(sum) + "\n", sum % 11 == 0 ? 0 : -1};
}

[[noreturn]] inline void contract_broken(const char *what, const std::string &got,
                                         const std::string &want)
{
    std::fprintf(stderr, "%s\n got: %s\nwant: %s\n", what, got.c_str(), want.c_str());
    std::abort();
}

// Runs `body` with standard output going into a buffer, and returns what it
// wrote there.
template <typename F> std::string capture_stdout(F body)
{
    char buffer[1024];
    FILE *into = fmemopen(buffer, sizeof buffer, "w");
    if (into == nullptr)
        std::abort();
    FILE *saved = stdout;
    stdout = into; // glibc lets the standard streams be assigned
    body();
    std::fflush(into);
    long length = std::ftell(into);
    stdout = saved;
    std::fclose(into);
    return std::string(buffer, static_cast<size_t>(length));
}
