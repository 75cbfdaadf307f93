#include "isbn_dialogue.h"

#include "check/isbn_check.h"
#include "console/console.h"
#include "messages.h"

#include <cstdio>

int isbn_dialogue()
{
    put_text(msg_prompt);
    // Show the prompt before the read blocks, also when output is a pipe.
    flush_or_exit();

    // Empty unless a token is read: input that ends before any token is an
    // input error, never a check of unset bytes. The width keeps a long token
    // inside the buffer; its first 63 bytes still make it an input error.
    char isbn[64] = "";
    int flags = console_input_blocking();
    if (std::scanf("%63s", isbn) != 1)
        isbn[0] = '\0';
    console_input_restore(flags);

    switch (isbn_check(isbn)) {
    case isbn_correct:
        put_text(msg_correct);
        break;
    case isbn_invalid:
        put_text(msg_invalid);
        break;
    default:
        put_text(msg_input_error);
        break;
    }
    return 0;
}
