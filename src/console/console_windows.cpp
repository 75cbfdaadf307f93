// The console's other jobs on Windows: the texts written as the console
// shows them; the key wait is in key_wait_windows.cpp.
#include "console.h"
#include "flush_stdout.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <windows.h>

namespace {

// The errno nearest to the reason the console gave, so that a failure reads
// the same, in English, however it came about.
int errno_of(DWORD error)
{
    return error == ERROR_INVALID_HANDLE ? EBADF : EIO;
}

// A console shows UTF-16 whatever its code page, but bytes only in that code
// page: Shift_JIS is unreadable on 437 or 1252. The line feed goes out as
// CR LF, as text mode writes it. Returns 0 when all of the line is out, -1
// when the console took none of it, else the errno of the failure.
int write_wide(HANDLE out, const char *utf8)
{
    // n bytes of UTF-8 are at most n UTF-16 units; one more for the CR.
    wchar_t text[console_line_max + 1];
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8,
                                static_cast<int>(std::strlen(utf8)), text, console_line_max);
    if (n <= 0)
        return -1;
    if (text[n - 1] == L'\n') {
        text[n - 1] = L'\r';
        text[n++] = L'\n';
    }
    for (int done = 0; done < n;) {
        DWORD written = 0;
        if (WriteConsoleW(out, text + done, static_cast<DWORD>(n - done), &written, nullptr) == 0 ||
            written == 0)
            return done == 0 ? -1 : errno_of(GetLastError());
        done += static_cast<int>(written);
    }
    return 0;
}

} // namespace

// A console handle has no non-blocking mode to undo.
int console_input_save_and_block()
{
    return 0;
}

void console_input_restore(int) {}

int console_put(const char *sjis, const char *utf8)
{
    // Flushed first, so the trace line in stdout's buffer keeps its place.
    if (int err = flush_stdout())
        return err;
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (GetConsoleMode(out, &mode) != 0) {
        const int err = write_wide(out, utf8);
        if (err >= 0)
            return err; // the rest, written again as bytes, would repeat the start
    }
    // Redirected, or the console refused: the bytes, as a file expects them.
    // GetConsoleOutputCP is 0 without a console: Shift_JIS then.
    std::fputs(GetConsoleOutputCP() == CP_UTF8 ? utf8 : sjis, stdout);
    return flush_stdout();
}
