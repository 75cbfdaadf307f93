// The console's other jobs on POSIX: the texts' encoding, and the blocking
// mode of standard input and output; the key wait is in key_wait_posix.cpp.
#include "console.h"
#include "flush_stdout.h"

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

// Clears O_NONBLOCK on fd; returns the flags it had, for restore_flags.
int save_and_block(int fd)
{
    const int flags = fcntl(fd, F_GETFL);
    if (flags >= 0 && (flags & O_NONBLOCK) != 0)
        fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return flags;
}

void restore_flags(int fd, int flags)
{
    if (flags >= 0 && (flags & O_NONBLOCK) != 0)
        fcntl(fd, F_SETFL, flags);
}

} // namespace

int console_input_save_and_block()
{
    return save_and_block(STDIN_FILENO);
}

void console_input_restore(int flags)
{
    restore_flags(STDIN_FILENO, flags);
}

int console_put(const char *sjis, const char *utf8)
{
    std::fputs(locale_utf8() ? utf8 : sjis, stdout);
    // Standard output shares the open file with standard input at a
    // terminal, and its O_NONBLOCK too: the write would fail, rather than
    // wait, while the user has paused output with Ctrl+S.
    const int flags = save_and_block(STDOUT_FILENO);
    const int err = flush_stdout();
    restore_flags(STDOUT_FILENO, flags);
    return err;
}
