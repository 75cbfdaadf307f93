#include "isbn_check.h"

#include <cstdio>
#include <cstring>

namespace {

// The byte taken as a signed 8-bit number, minus the code of '0'. Converted
// by hand so the value is the same where plain char is unsigned.
int char_value(char c)
{
    int byte = static_cast<unsigned char>(c);
    if (byte > 127)
        byte -= 256;
    return byte - '0';
}

} // namespace

int isbn_check(const char *isbn)
{
    if (std::strlen(isbn) != 10)
        return isbn_input_error;

    int suuchi[9];
    for (int i = 0; i < 9; ++i)
        suuchi[i] = char_value(isbn[i]);

    // Values lie in -176..79 and the weights add up to 55, so no overflow.
    int gokei = 0;
    for (int i = 0; i < 9; ++i)
        gokei += (10 - i) * suuchi[i];
    gokei += (isbn[9] == 'X' || isbn[9] == 'x') ? 10 : char_value(isbn[9]);

    std::printf("gokei = %d\n", gokei);
    return gokei % 11 == 0 ? isbn_correct : isbn_invalid;
}
