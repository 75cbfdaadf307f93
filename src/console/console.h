#pragma once

// The console as this program needs it; the only code that differs between
// Windows and POSIX.

// Waits for one key press at the console keyboard, without echo and without
// Enter; what arrives with it in one burst (the rest of a key's codes, a
// paste) goes with it, and nothing of it is left for the shell. Reads the
// keyboard itself, never standard input, so a token taken from a file or
// pipe neither ends the wait nor is consumed by it. Returns at once when
// there is no console keyboard to wait for.
void console_wait_key();

// Makes standard input block for the read of the token: an earlier program
// may have left O_NONBLOCK on the open file that standard input shares with
// the shell, and a read would then fail before the user could type. Returns
// the flags it found, which console_input_restore puts back.
int console_input_save_and_block();
void console_input_restore(int flags);

// The longest line, in bytes of UTF-8 with its line feed, that console_put
// writes to a Windows console as Unicode; the message table is checked
// against it when it is compiled.
constexpr int console_line_max = 64;

// Writes one line of text, given as the same characters in Shift_JIS and in
// UTF-8, to standard output in the form the console shows, and flushes it
// with whatever standard output held before it. Returns 0 when all of it is
// out, otherwise the errno of the write that failed.
int console_put(const char *sjis, const char *utf8);
