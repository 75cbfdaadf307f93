#pragma once

// The console as this program needs it; the only code that differs between
// Windows and POSIX.

// Waits for one key press at the console keyboard, without echo and without
// Enter. Reads the keyboard itself, never standard input, so a token taken
// from a file or pipe neither ends the wait nor is consumed by it. Returns at
// once when there is no console keyboard to wait for.
void console_wait_key();

// Writes one line of text, given as the same characters in Shift_JIS and in
// UTF-8, to standard output in the form the console shows.
void console_put(const char *sjis, const char *utf8);
