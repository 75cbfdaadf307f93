#include "dialogue/messages.h"

#include <gtest/gtest.h>

#include <iconv.h>

#include <cstring>
#include <string>

namespace {

TEST(messages, utf8_form_has_the_same_characters_as_shift_jis)
{
    iconv_t cd = iconv_open("UTF-8", "SHIFT_JIS");
    ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1)) << "no converter from Shift_JIS to UTF-8";
    for (const message &m : messages) {
        char out[256];
        char *in_p = const_cast<char *>(m.sjis), *out_p = out;
        size_t in_left = std::strlen(m.sjis), out_left = sizeof out;
        EXPECT_NE(iconv(cd, &in_p, &in_left, &out_p, &out_left), static_cast<size_t>(-1))
            << "not valid Shift_JIS: " << m.utf8;
        EXPECT_EQ(std::string(out, out_p), m.utf8);
    }
    iconv_close(cd);
}

} // namespace
