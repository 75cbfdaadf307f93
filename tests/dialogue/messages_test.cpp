#include "dialogue/messages.h"

#include <gtest/gtest.h>

#include <iconv.h>

#include <cstring>
#include <string>

namespace {

std::string shift_jis_to_utf8(const char *sjis)
{
    iconv_t cd = iconv_open("UTF-8", "SHIFT_JIS");
    EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1));
    char out[256];
    char *in_p = const_cast<char *>(sjis);
    size_t in_left = std::strlen(sjis);
    char *out_p = out;
    size_t out_left = sizeof out;
    size_t done = iconv(cd, &in_p, &in_left, &out_p, &out_left);
    iconv_close(cd);
    EXPECT_NE(done, static_cast<size_t>(-1)) << "not valid Shift_JIS";
    return std::string(out, out_p);
}

TEST(messages, utf8_form_has_the_same_characters_as_shift_jis)
{
    for (const message &m : messages) {
        SCOPED_TRACE(m.utf8);
        EXPECT_EQ(shift_jis_to_utf8(m.sjis), m.utf8);
    }
}

} // namespace
