// The key wait at a POSIX terminal: like _getch, one key without echo and
// without Enter, from the controlling terminal. The terminal is in the
// wait's mode only while the program waits in the foreground: every signal
// that would end or stop the program gives the user's settings back first.

#include "console.h"
#include "key_burst.h"

#include <cerrno>
#include <csignal>
#include <ctime>

#include <fcntl.h>
#include <sys/select.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Shared with the handlers: the terminal (-1 outside the wait), the user's
// settings and the wait's own mode. Changed only while the wait's signals
// are held back, so a handler never sees them half set.
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

// From a handler, which runs with every signal blocked: a blocked SIGTTOU
// lets even a background job change the terminal, so only the foreground
// sets a mode, and only during the wait.
void set_terminal(const termios &mode)
{
    int fd = tty_fd;
    if (fd >= 0 && own_terminal(fd))
        tcsetattr(fd, TCSANOW, &mode);
}

// Runs when the program continues after a stop: the shell has put its own
// mode back, so set the wait's again, and after fg one key, unechoed and
// without Enter, still ends the wait.
extern "C" void on_continue(int)
{
    int saved_errno = errno;
    set_terminal(tty_wait);
    errno = saved_errno;
}

// Runs when a signal would end the program: the user's settings go back
// first. SA_RESETHAND has put back the default action: end by the same signal.
extern "C" void on_fatal_signal(int sig)
{
    set_terminal(tty_saved);
    raise(sig);
}

// Runs when a signal would stop the program. Ctrl+Z is a key during the
// wait, so these come from kill or from a read in the background: leave the
// terminal as the shell expects it, then stop.
extern "C" void on_stop_signal(int sig)
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
    on_continue(SIGCONT);
    errno = saved_errno;
}

// Calls f(signal, handler) for every signal that the wait takes over.
template <typename F> void each_signal(F f)
{
    for (int sig : fatal_signals)
        f(sig, on_fatal_signal);
#ifdef SIGRTMIN
    for (int sig = SIGRTMIN; sig <= SIGRTMAX; ++sig)
        f(sig, on_fatal_signal);
#endif
    for (int sig : stop_signals)
        f(sig, on_stop_signal);
    f(SIGCONT, on_continue);
}

// Installs the handlers and returns in `taken` the signals that got one. Only
// a default action is replaced: a signal the caller chose to ignore (nohup)
// stays ignored, and one that a runtime handles (a sanitizer's SIGSEGV, a
// profiler's SIGPROF) keeps its handler.
void take_signals(sigset_t &taken)
{
    sigemptyset(&taken);
    each_signal([&taken](int sig, void (*handler)(int)) {
        struct sigaction found = {};
        if (sigaction(sig, nullptr, &found) != 0 || (found.sa_flags & SA_SIGINFO) != 0 ||
            found.sa_handler != SIG_DFL)
            return;
        struct sigaction sa = {};
        sa.sa_handler = handler;
        sa.sa_flags = SA_RESTART | (handler == on_fatal_signal ? SA_RESETHAND : 0);
        // One handler at a time: the terminal is put back once, by the first.
        sigfillset(&sa.sa_mask);
        if (sigaction(sig, &sa, nullptr) == 0)
            sigaddset(&taken, sig);
    });
}

// What was taken had the default action: that is what goes back.
void give_back_signals(const sigset_t &taken)
{
    each_signal([&taken](int sig, void (*)(int)) {
        struct sigaction dfl = {};
        dfl.sa_handler = SIG_DFL;
        if (sigismember(&taken, sig) == 1)
            sigaction(sig, &dfl, nullptr);
    });
}

// The wait's signals, held back while the terminal's mode, the handlers and
// their shared state change together.
sigset_t held_signals()
{
    sigset_t held;
    sigemptyset(&held);
    each_signal([&held](int sig, void (*)(int)) { sigaddset(&held, sig); });
    return held;
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

// The first read blocks until a key; then the burst. select, not poll: poll
// does not work on terminals on macOS.
void read_key(int fd)
{
    char key[256];
    ssize_t n;
    do
        n = read(fd, key, sizeof key);
    while (n < 0 && errno == EINTR);
    if (n <= 0 || fd >= FD_SETSIZE)
        return;
    take_burst(
        [fd](int ms) {
            fd_set ready;
            FD_ZERO(&ready);
            FD_SET(fd, &ready);
            timeval wait = {ms / 1000, static_cast<suseconds_t>(ms % 1000 * 1000)};
            int r = select(fd + 1, &ready, nullptr, nullptr, &wait);
            if (r < 0)
                return errno == EINTR ? -1 : 0;
            return r > 0 ? 1 : 0;
        },
        [fd, &key] { return read(fd, key, sizeof key) > 0; });
}

} // namespace

long long monotonic_ms()
{
    timespec t = {};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<long long>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

void console_wait_key()
{
    // The keyboard is the controlling terminal, not standard input. Without
    // one (a pipeline, cron, CI) there is nobody to press a key. The file is
    // opened here, so an O_NONBLOCK left on standard input does not reach it.
    int fd = open("/dev/tty", O_RDONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return;
    // The foreground check may need SIGTTOU to stop us, so it runs before the
    // signals are held; a job sent to the background in between checks again.
    const sigset_t held = held_signals();
    sigset_t before;
    for (;;) {
        if (!in_foreground(fd)) {
            close(fd);
            return;
        }
        sigprocmask(SIG_BLOCK, &held, &before);
        if (own_terminal(fd))
            break;
        sigprocmask(SIG_SETMASK, &before, nullptr);
    }
    termios saved;
    sigset_t taken;
    sigemptyset(&taken);
    bool set = false;
    if (tcgetattr(fd, &saved) == 0) {
        // Like _getch: one key, no echo, no Enter, and Ctrl+C, Ctrl+Z, Ctrl+S,
        // Ctrl+V are keys like any other.
        termios raw = saved;
        raw.c_lflag &= ~(ICANON | ECHO | ISIG | IEXTEN);
        raw.c_iflag &= ~IXON;
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        tty_saved = saved;
        tty_wait = raw;
        tty_fd = fd;
        take_signals(taken);
        set = tcsetattr(fd, TCSANOW, &raw) == 0;
    }
    // A signal that came meanwhile acts now, with the handlers in place.
    sigprocmask(SIG_SETMASK, &before, nullptr);
    if (set)
        read_key(fd);
    // Held back again until the user's settings and the actions found at the
    // start are back: a signal in that instant then meets the terminal as the
    // user had it, and ends or stops the program as it would have.
    sigprocmask(SIG_BLOCK, &held, nullptr);
    tty_fd = -1;
    // TCSAFLUSH: what is left of the burst goes, rather than to the shell.
    if (set && own_terminal(fd))
        tcsetattr(fd, TCSAFLUSH, &saved);
    give_back_signals(taken);
    sigprocmask(SIG_SETMASK, &before, nullptr);
    close(fd);
}
