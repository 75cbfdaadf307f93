#include "messages.h"

#include "console/console.h"

#include <string>

// Each Shift_JIS string is the UTF-8 text beside it converted by iconv, each
// byte written as \xHH (the letters "ISBN" as they are), then "\n":
//   printf '%s' '正しい番号です。' | iconv -f UTF-8 -t SHIFT_JIS |
//       od -An -tx1 | tr -d ' \n' | sed 's/../\\x\U&/g'
constexpr message messages[msg_count] = {
    {"ISBN\x82\xF0\x93\xFC\x97\xCD\x82\xB5\x82\xC4\x82\xAD\x82\xBE\x82\xB3\x82\xA2\x81\x42\n",
     "ISBNを入力してください。\n"},
    {"\x90\xB3\x82\xB5\x82\xA2\x94\xD4\x8D\x86\x82\xC5\x82\xB7\x81\x42\n", "正しい番号です。\n"},
    {"\x95\x73\x90\xB3\x82\xC8\x94\xD4\x8D\x86\x82\xC5\x82\xB7\x81\x42\n", "不正な番号です。\n"},
    {"\x93\xFC\x97\xCD\x83\x7E\x83\x58\x82\xC5\x82\xB7\x81\x42\n", "入力ミスです。\n"},
    {"\x82\xA8\x82\xB5\x82\xDC\x82\xA2\x81\x49\n", "おしまい！\n"},
};

namespace {

constexpr bool every_line_fits_the_console()
{
    for (const message &m : messages) {
        // std::any_of is constexpr only from C++20.
        // cppcheck-suppress useStlAlgorithm
        if (std::char_traits<char>::length(m.utf8) > console_line_max)
            return false;
    }
    return true;
}
static_assert(every_line_fits_the_console(), "a message is longer than console_put takes");

} // namespace
