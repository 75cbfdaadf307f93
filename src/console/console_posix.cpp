#include "console.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include <fcntl.h>
#include <strings.h>
#include <sys/select.h>
#include <termios.h>
#include <unistd.h>

namespace {

// What the signal handlers need during the wait: the terminal, the user's
// settings to put back, and the wait's own mode to set again after a stop.
volatile sig_atomic_t tty_fd = -1;
termios tty_saved;
termios tty_wait;

// The catchable signals whose default action ends the process; the
// real-time ones are added where they exist. SIGPOLL is XSI; SIGSTKFLT and
// SIGPWR are Linux's, SIGEMT the BSDs' and macOS's.
const int fatal_signals[] = {
    SIGHUP,    SIGINT,  SIGQUIT, SIGILL,  SIGTRAP, SIGABRT, SIGBUS,    SIGFPE,  SIGUSR1, SIGSEGV,
    SIGUSR2,   SIGPIPE, SIGALRM, SIGTERM, SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGSYS,
#ifdef SIGPOLL
    SIGPOLL,
#endif
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
#ifdef SIGEMT
    SIGEMT,
#endif
};

// The signals whose default action stops the process.
const int stop_signals[] = {SIGTSTP, SIGTTIN, SIGTTOU};

// The terminal is ours only while we are its foreground process group; in
// the background it belongs to the shell, whatever mode it is in.
bool own_terminal(int fd)
{
    return tcgetpgrp(fd) == getpgrp();
}

// From a handler: only during the wait, and only in the foreground.
void set_terminal(const termios &mode)
{
    int fd = tty_fd;
    if (fd >= 0 && own_terminal(fd))
        tcsetattr(fd, TCSANOW, &mode);
}

// After a stop the shell has put its own mode back: set the wait's again, so
// that after fg one key, unechoed and without Enter, still ends the wait.
extern "C" void set_wait_mode(int)
{
    int saved_errno = errno;
    set_terminal(tty_wait);
    errno = saved_errno;
}

extern "C" void put_back_and_end(int sig)
{
    set_terminal(tty_saved);
    // SA_RESETHAND has put back the default action: end with the same signal.
    raise(sig);
}

// Ctrl+Z is a key during the wait, so these come from kill or from a read in
// the background: leave the terminal as the shell expects it, then stop.
extern "C" void put_back_and_stop(int sig)
{
    int saved_errno = errno;
    set_terminal(tty_saved);
    struct sigaction dfl = {};
    struct sigaction ours = {};
    dfl.sa_handler = SIG_DFL;
    sigaction(sig, &dfl, &ours);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, sig);
    kill(getpid(), sig);
    sigprocmask(SIG_UNBLOCK, &only, nullptr); // stopped here until SIGCONT
    sigaction(sig, &ours, nullptr);
    // In an orphaned process group the stop is discarded and no SIGCONT follows.
    set_wait_mode(SIGCONT);
    errno = saved_errno;
}

// Calls f(signal, handler) for every signal that the wait takes over.
template <typename F> void each_signal(F f)
{
    for (int sig : fatal_signals)
        f(sig, put_back_and_end);
#ifdef SIGRTMIN
    for (int sig = SIGRTMIN; sig <= SIGRTMAX; ++sig)
        f(sig, put_back_and_end);
#endif
    for (int sig : stop_signals)
        f(sig, put_back_and_stop);
    f(SIGCONT, set_wait_mode);
}

// Installs the handlers and returns in `taken` the signals that got one.
void take_signals(sigset_t &taken)
{
    sigemptyset(&taken);
    each_signal([&taken](int sig, void (*handler)(int)) {
        struct sigaction old = {};
        // A signal the caller chose to ignore (nohup) stays ignored.
        if (sigaction(sig, nullptr, &old) != 0 || old.sa_handler == SIG_IGN)
            return;
        struct sigaction sa = {};
        sa.sa_handler = handler;
        sa.sa_flags = SA_RESTART | (handler == put_back_and_end ? SA_RESETHAND : 0);
        // One handler at a time: the terminal is put back once, by the first.
        sigfillset(&sa.sa_mask);
        if (sigaction(sig, &sa, nullptr) == 0)
            sigaddset(&taken, sig);
    });
}

// The program sets no handler of its own, so what it took was the default.
void give_back_signals(const sigset_t &taken)
{
    each_signal([&taken](int sig, void (*)(int)) {
        struct sigaction dfl = {};
        dfl.sa_handler = SIG_DFL;
        if (sigismember(&taken, sig) == 1)
            sigaction(sig, &dfl, nullptr);
    });
}

// A job started in the background must not take over the terminal while a
// shell still reads from it. tcdrain, which changes nothing, is refused to a
// background job with SIGTTOU: job control stops us until fg, then runs it
// again. Where no stop can happen (SIGTTOU ignored, or a process group that
// no shell looks after) the terminal stays the shell's and nobody waits.
bool in_foreground(int fd)
{
    if (own_terminal(fd))
        return true;
    while (tcdrain(fd) != 0 && errno == EINTR) {
    }
    return own_terminal(fd);
}

// The key is everything that arrives in one burst. A key's bytes (ESC [ A, a
// UTF-8 character) can arrive tens of milliseconds apart over a slow link,
// and a paste can take longer: read until the terminal has been quiet for
// quiet_ms, but no longer than burst_ms in all, so that a key held down still
// ends the wait. select, not poll: poll does not work on terminals on macOS.
constexpr long quiet_ms = 100;
constexpr long burst_ms = 2000;

long now_ms()
{
    timespec t = {};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<long>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

void read_key(int fd)
{
    char key[256];
    ssize_t n;
    do
        n = read(fd, key, sizeof key);
    while (n < 0 && errno == EINTR);
    if (n <= 0 || fd >= FD_SETSIZE)
        return;
    const long end = now_ms() + burst_ms;
    for (long left = burst_ms; left > 0; left = end - now_ms()) {
        const long ms = left < quiet_ms ? left : quiet_ms;
        fd_set ready;
        FD_ZERO(&ready);
        FD_SET(fd, &ready);
        timeval wait = {static_cast<time_t>(ms / 1000), static_cast<suseconds_t>(ms % 1000 * 1000)};
        int r = select(fd + 1, &ready, nullptr, nullptr, &wait);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0 || read(fd, key, sizeof key) <= 0)
            return;
    }
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
    // one (a pipeline, cron, CI) there is nobody to press a key. The file is
    // opened here, so an O_NONBLOCK left on standard input does not reach it.
    int fd = open("/dev/tty", O_RDONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return;
    termios saved;
    if (!in_foreground(fd) || tcgetattr(fd, &saved) != 0) {
        close(fd);
        return;
    }
    // Like _getch: one key, no echo, no Enter, and Ctrl+C, Ctrl+Z, Ctrl+S,
    // Ctrl+V are keys like any other.
    termios raw = saved;
    raw.c_lflag &= ~(ICANON | ECHO | ISIG | IEXTEN);
    raw.c_iflag &= ~IXON;
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;

    tty_saved = saved;
    tty_wait = raw;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    tty_fd = fd;
    sigset_t taken;
    take_signals(taken);
    // Stopped in the background here, job control sets the mode only after
    // fg, as SIGCONT does.
    const bool set = tcsetattr(fd, TCSANOW, &raw) == 0;
    if (set)
        read_key(fd);
    tty_fd = -1;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    // TCSAFLUSH: what is left of the burst goes, rather than to the shell.
    if (set && own_terminal(fd))
        tcsetattr(fd, TCSAFLUSH, &saved);
    give_back_signals(taken);
    close(fd);
}

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
