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

// Writes the message to standard output in the console's encoding; a line
// that the console took only in part ends the program as a failed flush does.
void put_text(message_id id);

// Flushes standard output, so what was written shows before the program
// reads or waits. A lost line is a failure, not a success: when standard
// output cannot be written, says so on standard error and ends the program
// with status 1 at once, reading and waiting for nothing more.
void flush_or_exit();
