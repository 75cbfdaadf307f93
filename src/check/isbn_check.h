#pragma once

// Result codes of isbn_check.
constexpr int isbn_correct = 0;      // ten bytes, weighted sum a multiple of 11
constexpr int isbn_invalid = -1;     // ten bytes, weighted sum not a multiple of 11
constexpr int isbn_input_error = -2; // any other length

// Tests the ISBN-10 check character of the NUL-terminated token `isbn`.
// For a ten-byte token writes the trace line "gokei = N" to standard output
// before returning; for any other token writes nothing.
int isbn_check(const char *isbn);
