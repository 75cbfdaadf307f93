// The key wait at a POSIX terminal: like _getch, one key without echo and
// without Enter, from the controlling terminal. The terminal is in the
// wait's mode only while the program waits in the foreground: a signal left
// at its default action that would end or stop the program gives the user's
// settings back first. One the caller ignored or a runtime handles (a
// sanitizer's SIGSEGV) keeps its action, and such an end leaves the mode.
//
// The handlers do that themselves rather than note the signal for the wait's
// code to act on: the wait blocks in read(), and only a wait that unblocks
// signals atomically (pselect, ppoll) could learn of a noted signal without
// a moment in which it is missed. But select and pselect cannot watch a
// descriptor at or above FD_SETSIZE, and macOS has no ppoll and no poll that
// works on terminals. Every call a handler makes is async-signal-safe.

#include "console.h"
#include "key_burst.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstddef>
#include <ctime>
#include <iterator>

#include <fcntl.h>
#include <pthread.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Shared with the handlers: the terminal (-1 outside the wait), the user's
// settings and the wait's own mode. Both change only while the wait's
// signals are held back, tty_saved before tty_fd says so, for the fault
// signals, which are never held back; and a fatal signal's handler ends the
// wait for good, as the signals that come before the death may be any.
volatile sig_atomic_t tty_fd = -1;
termios tty_saved;
termios tty_wait;

// The signals a fault of the program raises: never held back, as a fault
// raised while its signal is blocked is undefined. Sent with kill during the
// wait, they put the terminal back like the others.
constexpr int fault_signals[] = {SIGILL, SIGTRAP, SIGBUS, SIGFPE, SIGSEGV, SIGSYS};

// The other catchable signals whose default action ends the process; the
// real-time ones are added where they exist. SIGPOLL is XSI; SIGSTKFLT and
// SIGPWR are Linux's, SIGEMT the BSDs' and macOS's.
constexpr int fatal_signals[] = {
    SIGHUP,    SIGINT,  SIGQUIT, SIGABRT, SIGUSR1,   SIGUSR2, SIGPIPE,
    SIGALRM,   SIGTERM, SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF,
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
constexpr int stop_signals[] = {SIGTSTP, SIGTTIN, SIGTTOU};

// The terminal is ours only while we are its foreground process group; in
// the background it belongs to the shell, whatever mode it is in.
bool own_terminal(int fd)
{
    return fd >= 0 && tcgetpgrp(fd) == getpgrp();
}

// The wait's mode, set only in the foreground and during the wait: also by
// handlers, which run with SIGTTOU blocked, so even in the background.
void set_wait_mode()
{
    const int fd = tty_fd;
    if (own_terminal(fd))
        tcsetattr(fd, TCSANOW, &tty_wait);
}

// Likewise the user's settings, at the end of the wait and from handlers.
// What is left of the burst (the rest of a paste) goes first, not to the
// shell: by tcflush, as TCSAFLUSH waits for output to drain, which a
// handler must not.
void give_back()
{
    const int fd = tty_fd;
    if (own_terminal(fd)) {
        tcflush(fd, TCIFLUSH);
        tcsetattr(fd, TCSANOW, &tty_saved);
    }
}

// Runs when the program continues after a stop: the shell has put its own
// mode back, so set the wait's again, and after fg one key, unechoed and
// without Enter, still ends the wait.
extern "C" void on_continue(int)
{
    int saved_errno = errno;
    set_wait_mode();
    errno = saved_errno;
}

// Runs when a signal would end the program: the user's settings go back,
// for good. The raised signal waits until this returns, and the kernel may
// deliver others first (XNU takes the lowest number: SIGCONT, 19, before
// SIGUSR1, 30), whose handlers must then find no wait. The default action
// is set here rather than by SA_RESETHAND, which POSIX lets a system ignore
// for SIGILL and SIGTRAP: the raise would call this handler again.
extern "C" void on_fatal_signal(int sig)
{
    give_back();
    tty_fd = -1;
    signal(sig, SIG_DFL);
    raise(sig);
}

// Runs when a signal would stop the program. Ctrl+Z is a key during the
// wait, so these come from kill or from a read in the background: leave the
// terminal as the shell expects it, then stop.
extern "C" void on_stop_signal(int sig)
{
    int saved_errno = errno;
    give_back();
    struct sigaction ours = {};
    sigaction(sig, nullptr, &ours);
    signal(sig, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, sig);
    kill(getpid(), sig);
    pthread_sigmask(SIG_UNBLOCK, &only, nullptr); // stopped here until SIGCONT
    sigaction(sig, &ours, nullptr);
    // In an orphaned process group the stop is discarded and no SIGCONT follows.
    on_continue(SIGCONT);
    errno = saved_errno;
}

struct taken_signal {
    int sig;
    void (*handler)(int);
};

// The signal at position i of those the wait takes over, or 0 past the last;
// every real-time one, wherever numbered (Linux 34 to 64, FreeBSD 65 to 126).
taken_signal nth_signal(size_t i)
{
    if (i < std::size(fault_signals))
        return {fault_signals[i], on_fatal_signal};
    i -= std::size(fault_signals);
    if (i < std::size(fatal_signals))
        return {fatal_signals[i], on_fatal_signal};
    i -= std::size(fatal_signals);
#ifdef SIGRTMIN
    const auto realtime = static_cast<size_t>(SIGRTMAX - SIGRTMIN + 1);
    if (i < realtime)
        return {SIGRTMIN + static_cast<int>(i), on_fatal_signal};
    i -= realtime;
#endif
    if (i < std::size(stop_signals))
        return {stop_signals[i], on_stop_signal};
    return {i == std::size(stop_signals) ? SIGCONT : 0, on_continue};
}

// Takes over the signals from position i on, runs wait() with them in place,
// then puts each action back as found, the last first: on the stack, a frame
// a signal, so that no number bounds them. Only a default action is taken: a
// signal the caller ignored (nohup) stays so, one a runtime handles (a
// sanitizer's SIGSEGV) keeps its handler, as an alias does the second time.
// SIGCONT continues the program whatever its action: taken where ignored, it
// lets the wait set its mode again after fg, and changes nothing else.
template <typename Wait> void with_signals(size_t i, const sigset_t &held, const Wait &wait)
{
    const taken_signal taken = nth_signal(i);
    if (taken.sig == 0)
        return wait();
    struct sigaction was = {};
    const bool take =
        sigaction(taken.sig, nullptr, &was) == 0 && (was.sa_flags & SA_SIGINFO) == 0 &&
        (was.sa_handler == SIG_DFL || (taken.sig == SIGCONT && was.sa_handler == SIG_IGN));
    if (take) {
        struct sigaction sa = {};
        sa.sa_handler = taken.handler;
        sa.sa_flags = SA_RESTART;
        sa.sa_mask = held;
        sigaction(taken.sig, &sa, nullptr);
    }
    with_signals(i + 1, held, wait);
    if (take)
        sigaction(taken.sig, &was, nullptr);
}

// A job started in the background must not take over the terminal while a
// shell still reads from it. tcdrain, which changes nothing, is refused to a
// background job with SIGTTOU: job control stops the whole program until fg,
// then runs it again. Where no stop can happen (SIGTTOU ignored or blocked,
// or a process group that no shell looks after) the terminal stays the
// shell's: false, and nobody waits.
bool stop_until_foreground(int fd)
{
    if (own_terminal(fd))
        return true;
    while (tcdrain(fd) != 0 && errno == EINTR) {
    }
    return own_terminal(fd);
}

ssize_t read_some(int fd, char *buffer, size_t size)
{
    ssize_t n;
    do
        n = read(fd, buffer, size);
    while (n < 0 && errno == EINTR);
    return n;
}

// The first read blocks until a key comes (VMIN 1). Then the terminal times
// the burst, for the reasons at the top: with VMIN 0 and VTIME set, a read
// returns what has come, or nothing once the input has been quiet that long.
void read_key(int fd, const sigset_t &held)
{
    static_assert(key_quiet_ms % 100 == 0 && key_quiet_ms / 100 <= 255,
                  "VTIME counts tenths of a second in one byte");
    char key[256];
    if (read_some(fd, key, sizeof key) <= 0)
        return;
    sigset_t waiting;
    pthread_sigmask(SIG_BLOCK, &held, &waiting);
    tty_wait.c_cc[VMIN] = 0;
    tty_wait.c_cc[VTIME] = key_quiet_ms / 100;
    set_wait_mode();
    pthread_sigmask(SIG_SETMASK, &waiting, nullptr);
    take_burst([fd, &key] { return read_some(fd, key, sizeof key) > 0; });
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
    const int fd = open("/dev/tty", O_RDONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return;
    // Every signal but the faults is held back while the terminal's mode,
    // the handlers and their shared state change together, and while a
    // handler runs, so that the terminal is put back once, by the first.
    // The foreground check may need SIGTTOU to stop us, so it comes before;
    // a job sent to the background in between checks again.
    sigset_t held;
    sigset_t before;
    sigfillset(&held);
    for (int sig : fault_signals)
        sigdelset(&held, sig);
    for (;;) {
        if (!stop_until_foreground(fd)) {
            close(fd);
            return;
        }
        pthread_sigmask(SIG_BLOCK, &held, &before);
        if (own_terminal(fd))
            break;
        pthread_sigmask(SIG_SETMASK, &before, nullptr);
    }
    if (tcgetattr(fd, &tty_saved) != 0) {
        pthread_sigmask(SIG_SETMASK, &before, nullptr);
        close(fd);
        return;
    }
    // Like _getch: one key, no echo, no Enter, and Ctrl+C, Ctrl+Z, Ctrl+S,
    // Ctrl+V are keys like any other.
    tty_wait = tty_saved;
    tty_wait.c_lflag &= ~(ICANON | ECHO | ISIG | IEXTEN);
    tty_wait.c_iflag &= ~IXON;
    tty_wait.c_cc[VMIN] = 1;
    tty_wait.c_cc[VTIME] = 0;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    tty_fd = fd;
    with_signals(0, held, [fd, &held, &before] {
        // TCSAFLUSH: what was typed before the verdict was on the screen (a
        // second Enter, the rest of a long line) goes, so that only a key
        // pressed after it ends the wait. Only here: set again after a stop,
        // the mode keeps what arrived meanwhile.
        const bool set = tcsetattr(fd, TCSAFLUSH, &tty_wait) == 0;
        // A signal that came meanwhile acts now, with the handlers in place.
        // The caller's mask stands, but for SIGCONT, so that fg sets the
        // wait's mode again even where the caller blocked it.
        sigset_t waiting = before;
        sigdelset(&waiting, SIGCONT);
        pthread_sigmask(SIG_SETMASK, &waiting, nullptr);
        if (set)
            read_key(fd, held);
        // Held back again until the user's settings and the actions found are
        // back: a signal in that instant meets the terminal as the user had
        // it, and ends or stops the program as it would have. The settings go
        // back whatever the first set returned (a SIGCONT may have set the
        // wait's mode since), and before tty_fd is cleared, for the faults.
        pthread_sigmask(SIG_BLOCK, &held, nullptr);
        give_back();
        tty_fd = -1;
    });
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    close(fd);
}
