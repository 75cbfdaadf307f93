#include "console.h"

#include <conio.h>
#include <cstdio>
#include <windows.h>

namespace {

// A console shows UTF-16 whatever its code page, but bytes only in that code
// page: Shift_JIS is unreadable on 437 or 1252. The line feed goes out as
// CR LF, as text mode writes it.
bool write_wide(HANDLE out, const char *utf8)
{
    wchar_t text[64];
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, text, 63) - 1;
    if (n <= 0)
        return false;
    if (text[n - 1] == L'\n') {
        text[n - 1] = L'\r';
        text[n++] = L'\n';
    }
    DWORD written = 0;
    return WriteConsoleW(out, text, static_cast<DWORD>(n), &written, nullptr) != 0 &&
           written == static_cast<DWORD>(n);
}

} // namespace

void console_wait_key()
{
    // A function or cursor key leaves its second code inside the runtime,
    // which ends with the process; nothing reaches the next program.
    _getch();
}

void console_put(const char *sjis, const char *utf8)
{
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    // Flushed first, so the trace line in stdout's buffer keeps its place.
    if (GetConsoleMode(out, &mode) != 0 && std::fflush(stdout) == 0 && write_wide(out, utf8))
        return;
    // Redirected, or the console refused: the bytes, as a file expects them.
    // GetConsoleOutputCP is 0 without a console: Shift_JIS then.
    std::fputs(GetConsoleOutputCP() == CP_UTF8 ? utf8 : sjis, stdout);
}
