// The key wait at the Windows console: _getch's key, and the rest of its
// burst, so that nothing typed or pasted at the wait reaches the shell.

#include "console.h"
#include "key_burst.h"

#include <conio.h>
#include <windows.h>

namespace {

// For the handler: the console's input and the mode to give back, set before
// the handler is registered.
HANDLE wait_in = INVALID_HANDLE_VALUE;
DWORD wait_saved = 0;

// Ctrl+Break is a signal in every input mode, and its default action ends
// the process at once: the mode goes back first, or cmd.exe would go on
// without echo and line editing. Runs on a thread of its own.
BOOL WINAPI on_break(DWORD)
{
    SetConsoleMode(wait_in, wait_saved);
    return FALSE; // on to the next handler, in the end the default
}

} // namespace

long long monotonic_ms()
{
    return static_cast<long long>(GetTickCount64());
}

void console_wait_key()
{
    // The keyboard is the console's input buffer, also when standard input
    // is redirected; without a console there is nobody to press a key.
    HANDLE in = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (in == INVALID_HANDLE_VALUE)
        return;
    DWORD saved = 0;
    if (GetConsoleMode(in, &saved) == 0) {
        CloseHandle(in);
        return;
    }
    wait_in = in;
    wait_saved = saved;
    SetConsoleCtrlHandler(on_break, TRUE);
    // The mode _getch reads in (no line input, no echo, no processed input),
    // for the whole burst rather than only inside _getch: Ctrl+C in a paste
    // is a key, not a signal that ends the program before its closing line.
    SetConsoleMode(in, 0);
    // What was typed before the verdict was on the screen (a second Enter
    // after the ISBN's) goes: only a key pressed after it ends the wait, and
    // a window opened from the Start menu does not close unread.
    FlushConsoleInputBuffer(in);
    // A function or cursor key leaves its second code inside the runtime,
    // which ends with the process.
    _getch();
    // The console's input signals while any event waits (the key's release
    // too); each is read and dropped.
    take_burst([in] {
        INPUT_RECORD events[64];
        DWORD n = 0;
        return WaitForSingleObject(in, key_quiet_ms) == WAIT_OBJECT_0 &&
               ReadConsoleInputW(in, events, 64, &n) != 0;
    });
    // Whatever is left goes, rather than to cmd.exe, PowerShell or the next program.
    FlushConsoleInputBuffer(in);
    SetConsoleMode(in, saved);
    SetConsoleCtrlHandler(on_break, FALSE);
    CloseHandle(in);
}
