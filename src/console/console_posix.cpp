// The console's other jobs on POSIX: the texts' encoding, and standard
// input's blocking mode; the key wait is in key_wait_posix.cpp.
#include "console.h"

#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

namespace {

bool names_utf8(const char *locale)
{
    // The program stays in the C locale, so the comparison is plain ASCII.
    for (; *locale != '\0'; ++locale)
        if (strncasecmp(locale, "utf-8", 5) == 0 || strncasecmp(locale, "utf8", 4) == 0)
            return true;
    return false;
}

// True when the locale the user asked for, by the usual precedence, names UTF-8.
bool locale_utf8()
{
    const char *names[] = {"LC_ALL", "LC_CTYPE", "LANG"};
    for (const char *name : names) {
        const char *value = std::getenv(name);
        if (value != nullptr && *value != '\0')
            return names_utf8(value);
    }
    return false;
}

} // namespace

int console_input_blocking()
{
    int flags = fcntl(STDIN_FILENO, F_GETFL);
    if (flags >= 0 && (flags & O_NONBLOCK) != 0)
        fcntl(STDIN_FILENO, F_SETFL, flags & ~O_NONBLOCK);
    return flags;
}

void console_input_restore(int flags)
{
    if (flags >= 0 && (flags & O_NONBLOCK) != 0)
        fcntl(STDIN_FILENO, F_SETFL, flags);
}

bool console_put(const char *sjis, const char *utf8)
{
    std::fputs(locale_utf8() ? utf8 : sjis, stdout);
    return true;
}
