#pragma once

// One whole output line, held as the Shift_JIS bytes the program was written
// for, with the same characters in UTF-8 beside them for UTF-8 terminals.
struct message {
    const char *sjis;
    const char *utf8;
};

enum message_id : unsigned char {
    msg_prompt,
    msg_correct,
    msg_invalid,
    msg_input_error,
    msg_closing,
    msg_count
};

extern const message messages[msg_count];
