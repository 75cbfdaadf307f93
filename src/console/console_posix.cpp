#include "console.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <poll.h>
#include <strings.h>
#include <termios.h>
#include <unistd.h>

namespace {

// The terminal settings to put back if a signal ends us during the wait.
volatile sig_atomic_t tty_fd = -1;
termios tty_saved;

const int fatal_signals[] = {SIGTERM, SIGHUP, SIGINT, SIGQUIT};
constexpr int fatal_count = sizeof fatal_signals / sizeof fatal_signals[0];

extern "C" void restore_and_reraise(int sig)
{
    if (tty_fd >= 0)
        tcsetattr(tty_fd, TCSANOW, &tty_saved);
    // SA_RESETHAND has put back the default action: end with the same signal.
    raise(sig);
}

// A cursor or function key sends several bytes (ESC [ A), and so does a
// character outside ASCII. Whatever of the key is not read now would be
// typed into the shell after we end, so take what follows within a moment.
void drain_key(int fd)
{
    char rest[64];
    for (int round = 0; round < 16; ++round) {
        pollfd p = {fd, POLLIN, 0};
        if (poll(&p, 1, 30) <= 0 || read(fd, rest, sizeof rest) <= 0)
            return;
    }
}

void read_key(int fd)
{
    char key[64];
    ssize_t n;
    do
        n = read(fd, key, sizeof key);
    while (n < 0 && errno == EINTR);
    if (n > 0)
        drain_key(fd);
}

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

void console_wait_key()
{
    // The keyboard is the controlling terminal, not standard input. Without
    // one (a pipeline, cron, CI) there is nobody to press a key.
    int fd = open("/dev/tty", O_RDONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return;
    termios saved;
    if (tcgetattr(fd, &saved) != 0) {
        close(fd);
        return;
    }
    tty_saved = saved;
    tty_fd = fd;

    struct sigaction old[fatal_count];
    bool caught[fatal_count] = {};
    for (int i = 0; i < fatal_count; ++i) {
        struct sigaction sa = {};
        sa.sa_handler = restore_and_reraise;
        sa.sa_flags = SA_RESETHAND;
        sigemptyset(&sa.sa_mask);
        // A signal the caller chose to ignore (nohup) stays ignored.
        caught[i] = sigaction(fatal_signals[i], nullptr, &old[i]) == 0 &&
                    old[i].sa_handler != SIG_IGN && sigaction(fatal_signals[i], &sa, nullptr) == 0;
    }

    // Like _getch: one key, no echo, no Enter, and Ctrl+C, Ctrl+Z, Ctrl+S,
    // Ctrl+V are keys like any other.
    termios raw = saved;
    raw.c_lflag &= ~(ICANON | ECHO | ISIG | IEXTEN);
    raw.c_iflag &= ~IXON;
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSANOW, &raw) == 0) {
        read_key(fd);
        tcsetattr(fd, TCSANOW, &saved);
    }

    for (int i = 0; i < fatal_count; ++i)
        if (caught[i])
            sigaction(fatal_signals[i], &old[i], nullptr);
    tty_fd = -1;
    close(fd);
}

void console_put(const char *sjis, const char *utf8)
{
    std::fputs(locale_utf8() ? utf8 : sjis, stdout);
}
