#include "check/isbn_check.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct check_case {
    const char *isbn;
    const char *trace; // what goes to standard output
    int code;
};

const check_case cases[] = {
    {"0123456789", "gokei = 165\n", isbn_correct},
    {"0123456788", "gokei = 164\n", isbn_invalid},
    {"123456789X", "gokei = 220\n", isbn_correct},
    {"123456789x", "gokei = 220\n", isbn_correct},
    {"1234567890", "gokei = 210\n", isbn_invalid},
    {"0000000000", "gokei = 0\n", isbn_correct},
    {"1000000000", "gokei = 10\n", isbn_invalid},
    {"0000000001", "gokei = 1\n", isbn_invalid},
    // Every byte counts through its value, letters too.
    {"ABCDEFGHIJ", "gokei = 1100\n", isbn_correct},
    {"!!!!!!!!!!", "gokei = -825\n", isbn_correct},
    // X stands for ten only in the last place.
    {"XXXXXXXXXX", "gokei = 2170\n", isbn_invalid},
    {"xxxxxxxxxx", "gokei = 3898\n", isbn_invalid},
    // Bytes from 80 up are negative, also where plain char is unsigned:
    // five full-width digits in Shift_JIS, and the extremes.
    {"\x82\x4F\x82\x50\x82\x51\x82\x52\x82\x53", "gokei = -4415\n", isbn_invalid},
    {"\x80\x80\x80\x80\x80\x80\x80\x80\x80\x80", "gokei = -9680\n", isbn_correct},
    {"\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF", "gokei = -2695\n", isbn_correct},
    {"\x7F\x7F\x7F\x7F\x7F\x7F\x7F\x7F\x7F\x7F", "gokei = 4345\n", isbn_correct},
    // Any other length: no trace line.
    {"123456789", "", isbn_input_error},
    {"12345678901", "", isbn_input_error},
    {"0-12-345678-9", "", isbn_input_error},
    {"978-4-12-345678-9", "", isbn_input_error},
    {"", "", isbn_input_error},
    {"012345678901234567890123456789012345678901234567890123456789012", "", isbn_input_error},
};

TEST(isbn_check, sums_trace_lines_and_codes)
{
    for (const check_case &c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::string(c.isbn)));
        testing::internal::CaptureStdout();
        int code = isbn_check(c.isbn);
        std::fflush(stdout);
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(code, c.code);
        EXPECT_EQ(out, c.trace);
    }
}

} // namespace
