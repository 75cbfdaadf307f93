#pragma once
// The program as a job on a fresh pseudo-terminal, started and watched as a
// shell does: a session leader of its own on the pty runs it in a process
// group of its own, takes the terminal back when it stops, gives it back
// with fg (or not, with bg) and ends as it does. The token comes on a pipe
// or is typed at the terminal; output and errors go to pipes unless asked
// otherwise. POSIX interfaces, and TIOCSCTTY (Linux, the BSDs, macOS) to
// give the leader its terminal; waits poll for the event they wait for.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

// How a job starts, combined with |. By default the terminal has settings a
// naive restore would not bring back: IXON, ECHOCTL and OPOST off, ^H to erase.
enum job_flag : unsigned {
    stock_terminal = 1U << 0, // the pty's own settings: IXON on
    vmin_zero = 1U << 1,      // VMIN 0 in the terminal's settings
    tty_input = 1U << 2,      // the token typed at the terminal, which is standard input
    tty_output = 1U << 3,     // standard output the terminal
    full_output = 1U << 4,    // standard output /dev/full
    nonblocking = 1U << 5,    // O_NONBLOCK left on the terminal's file
    paused = 1U << 6,         // output paused with Ctrl+S (IXON on) before the job starts
    background = 1U << 7,     // started in the background: the leader keeps the terminal
    orphaned = 1U << 8,       // in an orphaned process group: the leader's own
    mask_all = 1U << 9,       // every signal blocked by the parent
    cont_ignored = 1U << 10,  // SIGCONT ignored by the parent
    hup_ignored = 1U << 11,   // SIGHUP ignored by the parent, as under nohup
    pipe_ignored = 1U << 12,  // SIGPIPE ignored by the parent
    ttou_ignored = 1U << 13,  // SIGTTOU ignored by the parent
    high_fd = 1U << 14,       // descriptors left open up to past FD_SETSIZE
    cont_first = 1U << 15,    // a SIGCONT before each signal the program raises (SIGCONT_FIRST)
};

using std::chrono::steady_clock;
using namespace std::chrono_literals;

inline long long ms_since(steady_clock::time_point t)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(steady_clock::now() - t).count();
}

// True when fd is ready within `ms`; select rather than poll, as the header
// of src/console/key_wait_posix.cpp says.
inline bool ready(int fd, int ms, bool for_writing = false)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(fd, &set);
    timeval wait = {ms / 1000, ms % 1000 * 1000};
    return select(fd + 1, for_writing ? nullptr : &set, for_writing ? &set : nullptr, nullptr,
                  &wait) > 0;
}

// What arrives on fd within `ms`, up to `want` bytes, stopping early once
// they or EOF have come.
inline std::string read_for(int fd, size_t want, int ms = 5000)
{
    std::string got;
    const auto start = steady_clock::now();
    char buf[4096];
    ssize_t n = 1;
    while (got.size() < want && n > 0 && ms_since(start) < ms &&
           ready(fd, static_cast<int>(ms - ms_since(start))) &&
           (n = read(fd, buf, std::min(sizeof buf, want - got.size()))) > 0)
        got.append(buf, static_cast<size_t>(n));
    return got;
}

// True once cond() holds, looked at every millisecond for five seconds.
template <typename F> bool eventually(F cond)
{
    for (int i = 0; i < 5000; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(1)))
        if (cond())
            return true;
    return false;
}

// The texts in UTF-8, as the job's locale asks.
const std::string prompt = "ISBNを入力してください。\n";
const std::string verdict = "gokei = 165\n正しい番号です。\n";
const std::string closing = "おしまい！\n";

// How a job ends: its exit code or the signal that ends it, the rest of its
// standard output and its errors, and what is typed after the end, echoed
// and left for the shell.
struct job_end {
    int code, sig;
    std::string out, err, left = "";
};
const job_end closes = {0, 0, closing, ""};
const auto killed_by = [](int sig) { return job_end{0, sig, "", ""}; };
const auto write_error = [](const std::string &reason) {
    return job_end{1, 0, "", "isbn10: write error: " + reason + "\n"};
};

enum resume { in_foreground, in_background };

struct pty_job {
    // The pipes to the job and from it, [0] reads and [1] writes; and a
    // socket pair between its leader and us, [0] ours.
    enum pipe_id { in_pipe, out_pipe, err_pipe, pipes };

    unsigned flags;
    int master = -1, slave = -1, in = -1, out = -1, err = -1, shell = -1;
    pid_t leader = -1, job = -1; // the session leader, which ends as the job does, and the job
    int status = -1;             // the leader's, once it has ended
    termios before{}, editing{}; // the terminal's settings, and the shell's line editor's
    steady_clock::time_point acted = steady_clock::now(); // the last thing done to the job
    // When the part of a key fed last was last seen unread, and whether a
    // part came later than the program's quiet window allows after it.
    steady_clock::time_point unread{};
    bool stalled = false;

    explicit pty_job(unsigned f) : flags(f) {}
    ~pty_job()
    {
        if (running())
            kill(job, SIGKILL);
        if (leader > 0 && status == -1)
            kill(leader, SIGKILL), waitpid(leader, nullptr, 0);
        for (int fd : {master, slave, in, out, err, shell})
            close(fd);
    }

    void start(char *const command[])
    {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_TRUE(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
        slave = open(ptsname(master), O_RDWR | O_NOCTTY);
        termios set = mode();
        if (!(flags & stock_terminal))
            set.c_iflag &= ~IXON, set.c_lflag &= ~ECHOCTL, set.c_oflag &= ~OPOST,
                set.c_cc[VERASE] = 8;
        if (flags & paused)
            set.c_iflag |= IXON;
        if (flags & vmin_zero)
            set.c_cc[VMIN] = 0;
        ASSERT_EQ(tcsetattr(slave, TCSANOW, &set), 0);
        before = editing = mode();
        editing.c_lflag &= ~(ICANON | ECHO);
        if (flags & paused) {
            ASSERT_EQ(write(master, "\x13", 1), 1);
            ASSERT_TRUE(eventually([this] { return !ready(slave, 0, true); }));
        }
        int p[pipes][2], ctl[2];
        for (auto &fds : p)
            ASSERT_EQ(pipe(fds), 0);
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, ctl), 0);
        ASSERT_GE(leader = fork(), 0);
        if (leader == 0)
            close(ctl[0]), lead(command, p, ctl[1]);
        for (int fd : {p[in_pipe][0], p[out_pipe][1], p[err_pipe][1], ctl[1]})
            close(fd);
        in = p[in_pipe][1], err = p[err_pipe][0], shell = ctl[0];
        out = flags & tty_output ? master : p[out_pipe][0];
        ASSERT_EQ(read(shell, &job, sizeof job), ssize_t(sizeof job));
    }

    // The session leader: starts the job, with its standard input, output
    // and errors, and tells us its pid; then, as a shell, takes the terminal
    // back and tells us 's' each time the job stops, and continues it when
    // told: 'f' gives it the terminal first, 'b' not. Ends as the job does.
    [[noreturn]] void lead(char *const command[], int (&p)[pipes][2], int us)
    {
        setsid();
        ioctl(slave, TIOCSCTTY, 0);
        for (int sig = 1; sig < NSIG; ++sig)
            signal(sig, SIG_DFL);
        sigset_t set;
        sigemptyset(&set);
        sigprocmask(SIG_SETMASK, &set, nullptr);
        rlimit limit = {0, 0};
        setrlimit(RLIMIT_CORE, &limit);
        dup2(flags & tty_input ? slave : p[in_pipe][0], 0);
        const int to = flags & full_output ? open("/dev/full", O_WRONLY) : p[out_pipe][1];
        dup2(flags & tty_output ? slave : to, 1);
        dup2(p[err_pipe][1], 2);
        for (int fd = 3; fd < 64; ++fd)
            if (fd != us && fd != slave)
                close(fd);
        // An orphaned job runs in the leader's group, whose members' parents
        // are all in it or outside the session; in the background another
        // group holds the terminal.
        pid_t holder = flags & orphaned && flags & background ? fork() : -1;
        if (holder == 0)
            setpgid(0, 0), ::pause(), _exit(0);
        if (holder > 0 && (setpgid(holder, holder) != 0 || tcsetpgrp(slave, holder) != 0))
            _exit(127);
        pid_t pid = fork();
        if (pid == 0)
            close(us), run(command);
        const pid_t group = flags & orphaned ? getpgrp() : pid;
        signal(SIGHUP, SIG_IGN); // the leader outlives a hang-up, to report how the job ended
        signal(SIGTTOU, SIG_IGN);
        int status = 0;
        bool told = write(us, &pid, sizeof pid) == sizeof pid;
        for (char verb = 0; told;) {
            const pid_t got = waitpid(pid, &status, WUNTRACED | WNOHANG);
            if (got != 0 && (got != pid || !WIFSTOPPED(status)))
                break;
            if (got == pid)
                tcsetpgrp(slave, getpgrp()), told = write(us, "s", 1) == 1;
            if (ready(us, 1) && read(us, &verb, 1) == 1) {
                if (verb == 'f')
                    tcsetpgrp(slave, group);
                kill(pid, SIGCONT);
            }
        }
        if (holder > 0)
            kill(holder, SIGKILL);
        if (WIFSIGNALED(status))
            signal(WTERMSIG(status), SIG_DFL), raise(WTERMSIG(status));
        _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 127);
    }

    // The job, from fork to exec.
    [[noreturn]] void run(char *const command[])
    {
        if (!(flags & orphaned))
            setpgid(0, 0);
        signal(SIGTTOU, SIG_IGN);
        if (!(flags & background))
            tcsetpgrp(slave, getpgrp());
        signal(SIGCONT, flags & cont_ignored ? SIG_IGN : SIG_DFL);
        signal(SIGHUP, flags & hup_ignored ? SIG_IGN : SIG_DFL);
        signal(SIGPIPE, flags & pipe_ignored ? SIG_IGN : SIG_DFL);
        signal(SIGTTOU, flags & ttou_ignored ? SIG_IGN : SIG_DFL);
        if (flags & nonblocking)
            fcntl(slave, F_SETFL, fcntl(slave, F_GETFL) | O_NONBLOCK);
        close(slave);
        // Descriptors up to past FD_SETSIZE, so that the program's /dev/tty lands there.
        if (flags & high_fd) {
            const rlimit limit = {FD_SETSIZE + 128, FD_SETSIZE + 128};
            for (int fd = setrlimit(RLIMIT_NOFILE, &limit); fd < FD_SETSIZE + 64;)
                if ((fd = open("/dev/null", O_RDONLY)) < 0)
                    _exit(126);
        }
        sigset_t set;
        sigfillset(&set);
        if (flags & mask_all)
            sigprocmask(SIG_SETMASK, &set, nullptr);
        // ASan refuses a library loaded before its runtime, unless told; its
        // leak scan at exit, which the dialogue tests keep, makes a job end
        // late on a busy machine.
        char lang[] = "LANG=C.UTF-8",
             asan[] = "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0",
#ifdef SIGCONT_FIRST
             preload[] = "LD_PRELOAD=" SIGCONT_FIRST;
#else // no library to preload in this build
             preload[] = "LD_PRELOAD=";
#endif
        char *env[] = {lang, asan, flags & cont_first ? preload : nullptr, nullptr};
        execve(command[0], command, env);
        _exit(127);
    }

    // False once the job has ended: the leader, which ends with it, is gone.
    bool running()
    {
        if (status == -1 && leader > 0 && waitpid(leader, &status, WNOHANG) != leader)
            status = -1;
        return status == -1 && job > 1;
    }

    // The job's status, or -1 when it is still running after five seconds.
    int wait_status()
    {
        eventually([this] { return !running(); });
        return status;
    }

    // Only ever the job itself, while it runs: never a group, never
    // ourselves. False when it has ended; a row that expects it to end by
    // this signal then fails by its status.
    bool signal_job(int sig)
    {
        if (!running() || job == getpid() || kill(job, sig) != 0)
            return false;
        acted = steady_clock::now();
        return true;
    }

    // Stopped by `sig`, as the leader tells; false when the job has ended instead.
    bool stopped_by(int sig)
    {
        return signal_job(sig) && read_for(shell, 1) == "s";
    }

    void put(int fd, const std::string &bytes)
    {
        ASSERT_EQ(write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
        acted = steady_clock::now();
    }

    // The prompt shows before the program reads, the verdict follows the token.
    void answer(const std::string &typed)
    {
        if (flags & paused) {
            EXPECT_EQ(read_for(out, 1, 300), "") << "written while output was paused";
            put(master, "\x11");
        }
        ASSERT_EQ(read_for(out, prompt.size()), prompt) << "no prompt; status " << wait_status();
        std::string echo;
        if (flags & tty_input) {
            EXPECT_EQ(read_for(out, 1, 300), "") << "a verdict before the token was typed";
            put(master, typed);
            echo = flags & tty_output ? typed.substr(0, 10) + "\n" : "";
        } else {
            ASSERT_NO_FATAL_FAILURE(put(in, "0123456789\n"));
        }
        EXPECT_EQ(read_for(out, echo.size() + verdict.size()), echo + verdict);
    }

    termios mode()
    {
        termios t{};
        EXPECT_EQ(tcgetattr(slave, &t), 0);
        return t;
    }

    bool mode_is(const termios &want)
    {
        const termios t = mode();
        return t.c_iflag == want.c_iflag && t.c_oflag == want.c_oflag &&
               t.c_cflag == want.c_cflag && t.c_lflag == want.c_lflag &&
               std::memcmp(t.c_cc, want.c_cc, sizeof t.c_cc) == 0;
    }

    void settings_are(const termios &want)
    {
        EXPECT_TRUE(mode_is(want)) << "the terminal's settings changed";
    }

    // The program waits for the key in the wait's whole mode, IEXTEN off
    // too, which no key typed on Linux shows, and writes nothing until the
    // key comes. A job that has ended fails at once.
    void to_wait()
    {
        termios wait = before;
        wait.c_lflag &= ~(ICANON | ECHO | ISIG | IEXTEN), wait.c_iflag &= ~IXON;
        wait.c_cc[VMIN] = 1, wait.c_cc[VTIME] = 0;
        ASSERT_TRUE(eventually([&] { return !running() || mode_is(wait); }) && running())
            << "not waiting for a key in the wait's mode";
        read_for(master, 1U << 20, 100); // the typed text's echo
        EXPECT_EQ(read_for(out, 1, 200), "") << "closing line before any key";
    }

    // Stops the job and, `stopped_ms` later, unless it has left the wait
    // meanwhile, types `bytes`, seen to arrive; then continues it with fg,
    // and sees them read. False when the job has ended instead of stopping,
    // or has left the wait: it then runs on unstopped. From the last part
    // seen unread to the stop, the program's quiet window runs: 80 ms and
    // more means that the machine stalled us, and the run has tested
    // nothing; it feeds no more, and a job it stopped ends with the run.
    bool feed(const std::string &bytes, int stopped_ms = 0)
    {
        const bool stopped = !stalled && stopped_by(SIGSTOP);
        stalled = stalled || (unread != steady_clock::time_point{} &&
                              (stopped ? acted : steady_clock::now()) - unread >= 80ms);
        if (!stopped || stalled)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(stopped_ms));
        const bool waiting = !(mode().c_lflag & ICANON);
        if (waiting) {
            put(master, bytes);
            EXPECT_TRUE(ready(slave, 5000)) << "typed, but nothing arrived";
        }
        put(shell, "f");
        unread = acted;
        EXPECT_TRUE(eventually([this] {
            return !ready(slave, 0) || !running() || (unread = steady_clock::now(), false);
        })) << "not read";
        return waiting;
    }

    // The key, a letter unless given, split where `second` is given: both
    // parts are fed to the job, the second `gap_ms` after the first was read,
    // inside the quiet window.
    void press(const std::string &first = "a", const std::string &second = "", int gap_ms = 0)
    {
        if (second.empty())
            return put(master, first);
        ASSERT_TRUE(feed(first)) << "not waiting";
        std::this_thread::sleep_for(std::chrono::milliseconds(gap_ms));
        ASSERT_TRUE(feed(second) || stalled) << "not waiting";
    }

    // A key held down: `repeat` fed to the job again and again until the
    // time cap ends the wait. The job waits stopped while each part is
    // typed, so that only the moment between a part read and the next stop
    // is ours to keep short.
    void hold(const std::string &repeat)
    {
        const auto start = steady_clock::now();
        while (ms_since(start) < 5000 && feed(repeat, 500)) {
        }
        const long long held = ms_since(start);
        EXPECT_TRUE(stalled || (held > 1500 && held < 4000)) << "held for " << held << " ms";
    }

    // Stopped (by `sig`, or 0: by itself), the terminal is the shell's, as
    // it was: the program put it back, or after SIGSTOP, which it cannot
    // catch, the shell did. Continued with fg, the job waits again; with bg
    // first, it leaves the terminal in the mode that the shell's line editor
    // set, and stops when it reads.
    void stop(int sig, resume how = in_foreground)
    {
        ASSERT_TRUE(sig == 0 ? read_for(shell, 1) == "s" : stopped_by(sig)) << "not stopped";
        if (sig == SIGSTOP) // as the shell does; settings_are checks it
            tcsetattr(slave, TCSANOW, &before);
        settings_are(before);
        if (how == in_background) {
            ASSERT_EQ(tcsetattr(slave, TCSANOW, &editing), 0);
            ASSERT_NO_FATAL_FAILURE(put(shell, "b"));
            ASSERT_EQ(read_for(shell, 1), "s") << "not stopped by its read";
            settings_are(editing);
            ASSERT_EQ(tcsetattr(slave, TCSANOW, &before), 0);
        }
        ASSERT_NO_FATAL_FAILURE(put(shell, "f"));
        to_wait();
    }

    // The reader of standard output goes: the pipe's, or the terminal's
    // master, which hangs the terminal up.
    void drop_output()
    {
        close(out);
        master = out == master ? -1 : master;
        out = -1;
        acted = steady_clock::now();
    }

    // How every row ends: soon after the last thing done to the job, as the
    // row expects; the terminal, unless hung up, in its settings and blocking
    // mode as before, with nothing of the key echoed or left for the shell,
    // which reads in non-canonical mode too.
    void ends(const job_end &want)
    {
        const int got = wait_status();
        EXPECT_LT(ms_since(acted), 500) << "the job ended late, or not at all";
        EXPECT_TRUE(want.sig != 0 ? WIFSIGNALED(got) && WTERMSIG(got) == want.sig
                                  : WIFEXITED(got) && WEXITSTATUS(got) == want.code)
            << "status " << got;
        if (out >= 0) {
            EXPECT_EQ(read_for(out, out == master ? want.out.size() : 1U << 20), want.out);
        }
        // An emulator reports a signal there, unless the row expects errors.
        if (want.sig == 0 || !want.err.empty()) {
            EXPECT_EQ(read_for(err, 1U << 20), want.err);
        }
        if (master < 0)
            return;
        settings_are(before);
        EXPECT_EQ(fcntl(slave, F_GETFL) & O_NONBLOCK, flags & nonblocking ? O_NONBLOCK : 0);
        EXPECT_EQ(read_for(master, 1U << 20, 50), want.left) << "echoed, or more output";
        ASSERT_EQ(tcsetattr(slave, TCSANOW, &editing), 0);
        EXPECT_EQ(read_for(slave, 1U << 20, 50), want.left) << "left for the shell";
    }
};
