#include "isbn_dialogue.h"

#include "check/isbn_check.h"
#include "console/console.h"
#include "output.h"

#include <cstdio>

int isbn_dialogue()
{
    put_line(msg_prompt);

    // Empty unless a token is read: input that ends before any token is an
    // input error, never a check of unset bytes. The width keeps a long token
    // inside the buffer; its first 63 bytes still make it an input error.
    char isbn[64] = "";
    int flags = console_input_save_and_block();
    if (std::scanf("%63s", isbn) != 1)
        isbn[0] = '\0';
    console_input_restore(flags);

    switch (isbn_check(isbn)) {
    case isbn_correct:
        put_line(msg_correct);
        break;
    case isbn_invalid:
        put_line(msg_invalid);
        break;
    default:
        put_line(msg_input_error);
        break;
    }
    return 0;
}
