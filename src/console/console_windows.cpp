#include "console.h"

#include <conio.h>
#include <windows.h>

void console_wait_key()
{
    // A function or cursor key leaves its second code inside the runtime,
    // which ends with the process; nothing reaches the next program.
    _getch();
}

bool console_utf8()
{
    // 0 when no console is attached: the program's own Shift_JIS then.
    return GetConsoleOutputCP() == CP_UTF8;
}
