#pragma once
// The program as a job on a fresh pseudo-terminal, started and watched as a
// shell does: a session leader of its own on the pty runs it, in a process
// group of its own, and ends as it does. The token comes on a pipe or is
// typed at the terminal; output and errors go to pipes unless asked
// otherwise. POSIX interfaces only; waits poll for the event they wait for.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/select.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

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
    background = 1U << 7,     // a background job that ignores SIGTTOU
    orphaned = 1U << 8,       // a background job in an orphaned process group
    mask_all = 1U << 9,       // every signal blocked by the parent
    cont_ignored = 1U << 10,  // SIGCONT ignored by the parent
    hup_ignored = 1U << 11,   // SIGHUP ignored by the parent, as under nohup
    pipe_ignored = 1U << 12,  // SIGPIPE ignored by the parent
    high_fd = 1U << 13,       // descriptors left open up to past FD_SETSIZE
};

using std::chrono::steady_clock;

inline long long ms_since(steady_clock::time_point t)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(steady_clock::now() - t).count();
}

// True when fd is ready within `ms`; select, as poll does not work on
// terminals on macOS.
inline bool ready(int fd, int ms, bool for_writing = false)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(fd, &set);
    timeval wait = {ms / 1000, ms % 1000 * 1000};
    return select(fd + 1, for_writing ? nullptr : &set, for_writing ? &set : nullptr, nullptr,
                  &wait) > 0;
}

// What arrives on fd within `ms`, stopping early once `want` bytes or EOF have come.
inline std::string read_for(int fd, size_t want, int ms = 5000)
{
    std::string got;
    const auto start = steady_clock::now();
    char buf[4096];
    ssize_t n = 1;
    while (got.size() < want && n > 0 && ms_since(start) < ms &&
           ready(fd, static_cast<int>(ms - ms_since(start))) && (n = read(fd, buf, sizeof buf)) > 0)
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

struct pty_job {
    unsigned flags;
    int master = -1, slave = -1, in = -1, out = -1, err = -1, stops = -1;
    pid_t leader = -1; // the session leader, which ends as the job does
    pid_t job = -1;
    int status = -1; // the leader's, once it has ended
    termios before{};

    explicit pty_job(unsigned f) : flags(f) {}
    ~pty_job()
    {
        if (running())
            kill(job, SIGKILL);
        if (leader > 0 && status == -1)
            kill(leader, SIGKILL), waitpid(leader, nullptr, 0);
        for (int fd : {master, slave, in, out, err, stops})
            close(fd);
    }

    void start(char *const command[])
    {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_TRUE(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
        slave = open(ptsname(master), O_RDWR | O_NOCTTY);
        termios set{};
        ASSERT_EQ(tcgetattr(slave, &set), 0);
        if (!(flags & stock_terminal))
            set.c_iflag &= ~IXON, set.c_lflag &= ~ECHOCTL, set.c_oflag &= ~OPOST,
                set.c_cc[VERASE] = 8;
        if (flags & paused)
            set.c_iflag |= IXON;
        if (flags & vmin_zero)
            set.c_cc[VMIN] = 0;
        ASSERT_EQ(tcsetattr(slave, TCSANOW, &set), 0);
        ASSERT_EQ(tcgetattr(slave, &before), 0);
        if (flags & paused) {
            ASSERT_EQ(write(master, "\x13", 1), 1);
            ASSERT_TRUE(eventually([this] { return !ready(slave, 0, true); }));
        }
        int p[4][2]; // in, out, err, stops
        for (auto &fds : p)
            ASSERT_EQ(pipe(fds), 0);
        ASSERT_GE(leader = fork(), 0);
        if (leader == 0)
            lead(command, p);
        for (int fd : {p[0][0], p[1][1], p[2][1], p[3][1]})
            close(fd);
        in = p[0][1], out = flags & tty_output ? master : p[1][0], err = p[2][0], stops = p[3][0];
        ASSERT_EQ(read(stops, &job, sizeof job), ssize_t(sizeof job));
    }

    // The session leader: starts the job, tells its pid, then a byte each
    // time it stops, as a shell learns of it; ends as the job does.
    [[noreturn]] void lead(char *const command[], int p[4][2])
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
        // An orphaned job runs in the leader's group, whose members' parents
        // are all in it or outside the session, while another holds the terminal.
        pid_t holder = flags & orphaned ? fork() : -1;
        if (holder == 0)
            setpgid(0, 0), pause(), _exit(0);
        if (holder > 0 && (setpgid(holder, holder) != 0 || tcsetpgrp(slave, holder) != 0))
            _exit(127);
        pid_t pid = fork();
        if (pid == 0) {
            if (!(flags & orphaned))
                setpgid(0, 0);
            signal(SIGTTOU, SIG_IGN);
            if (!(flags & (background | orphaned)))
                tcsetpgrp(slave, getpid());
            if (!(flags & background))
                signal(SIGTTOU, SIG_DFL);
            for (auto [flag, sig] :
                 {std::pair{cont_ignored, SIGCONT}, {hup_ignored, SIGHUP}, {pipe_ignored, SIGPIPE}})
                signal(sig, flags & flag ? SIG_IGN : SIG_DFL);
            if (flags & nonblocking)
                fcntl(slave, F_SETFL, fcntl(slave, F_GETFL) | O_NONBLOCK);
            dup2(flags & tty_input ? slave : p[0][0], 0);
            int to = flags & full_output ? open("/dev/full", O_WRONLY) : p[1][1];
            dup2(flags & tty_output ? slave : to, 1);
            dup2(p[2][1], 2);
            for (int fd = 3; fd < 64; ++fd)
                close(fd);
            // Descriptors up to past FD_SETSIZE, so that the program's /dev/tty lands there.
            if (flags & high_fd) {
                getrlimit(RLIMIT_NOFILE, &limit);
                limit.rlim_cur = limit.rlim_max;
                for (int fd = setrlimit(RLIMIT_NOFILE, &limit); fd < FD_SETSIZE + 64;)
                    if ((fd = open("/dev/null", O_RDONLY)) < 0)
                        _exit(126);
            }
            sigfillset(&set);
            if (flags & mask_all)
                sigprocmask(SIG_SETMASK, &set, nullptr);
            char lang[] = "LANG=C.UTF-8";
            char *env[] = {lang, nullptr};
            execve(command[0], command, env);
            _exit(127);
        }
        signal(SIGHUP, SIG_IGN); // the leader outlives a hang-up, to report how the job ended
        for (int fd = 3; fd < 64; ++fd)
            if (fd != p[3][1])
                close(fd);
        int status = 0;
        bool told = write(p[3][1], &pid, sizeof pid) == sizeof pid;
        while (told && waitpid(pid, &status, WUNTRACED) == pid && WIFSTOPPED(status))
            told = write(p[3][1], "s", 1) == 1;
        if (holder > 0)
            kill(holder, SIGKILL);
        if (WIFSIGNALED(status))
            signal(WTERMSIG(status), SIG_DFL), raise(WTERMSIG(status));
        _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 127);
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

    // Only ever the job itself, while it runs: never a group, never ourselves.
    void signal_job(int sig)
    {
        ASSERT_TRUE(running() && job != getpid()) << "the job has ended";
        ASSERT_EQ(kill(job, sig), 0);
    }

    void send(const std::string &bytes)
    {
        ASSERT_EQ(write(master, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    }

    bool waits_for_key()
    {
        return eventually([this] {
            termios t{};
            return tcgetattr(slave, &t) == 0 && (t.c_lflag & ICANON) == 0;
        });
    }

    // The prompt shows before the program reads, the verdict follows the
    // token, then the program waits for the key.
    void to_wait(const std::string &typed)
    {
        if (flags & paused) {
            EXPECT_EQ(read_for(out, 1, 300), "") << "written while output was paused";
            send("\x11");
        }
        EXPECT_EQ(read_for(out, prompt.size()), prompt);
        std::string echo;
        if (flags & tty_input) {
            EXPECT_EQ(read_for(out, 1, 300), "") << "a verdict before the token was typed";
            send(typed);
            echo = flags & tty_output ? typed.substr(0, 10) + "\n" : "";
        } else {
            ASSERT_EQ(write(in, "0123456789\n", 11), 11);
        }
        EXPECT_EQ(read_for(out, echo.size() + verdict.size()), echo + verdict);
        ASSERT_TRUE(waits_for_key());
        read_for(master, 1U << 20, 100); // the typed text's echo
        EXPECT_EQ(read_for(out, 1, 200), "") << "closing line before any key";
    }

    // The key, split where `second` is given: the first part is seen to
    // arrive while the job is stopped, then to be read once it continues;
    // the second follows `gap_ms` later, inside the quiet window.
    void press(const std::string &first, const std::string &second = "", int gap_ms = 0)
    {
        if (!second.empty()) {
            ASSERT_NO_FATAL_FAILURE(signal_job(SIGSTOP));
            ASSERT_EQ(read_for(stops, 1), "s");
            send(first);
            ASSERT_TRUE(ready(slave, 5000));
            ASSERT_NO_FATAL_FAILURE(signal_job(SIGCONT));
            ASSERT_TRUE(eventually([this] { return !ready(slave, 0); }));
            std::this_thread::sleep_for(std::chrono::milliseconds(gap_ms));
        }
        const auto sent = steady_clock::now();
        send(second.empty() ? first : second);
        // Soon after: the closing line, status 0, no echo, the settings and
        // blocking mode as they were, and nothing of the key left for the
        // shell, which reads in non-canonical mode too.
        EXPECT_EQ(read_for(out, closing.size()), closing);
        EXPECT_LT(ms_since(sent), 500) << "the closing line came late";
        EXPECT_EQ(wait_status(), 0);
        ASSERT_NO_FATAL_FAILURE(keeps_terminal());
        EXPECT_EQ(fcntl(slave, F_GETFL) & O_NONBLOCK, flags & nonblocking ? O_NONBLOCK : 0);
        EXPECT_EQ(read_for(master, 1, 50), "") << "the key was echoed, or more output";
        EXPECT_EQ(out == master ? "" : read_for(out, 1, 50), "");
        termios shell = before;
        shell.c_lflag &= ~ICANON;
        shell.c_cc[VMIN] = shell.c_cc[VTIME] = 0;
        ASSERT_EQ(tcsetattr(slave, TCSANOW, &shell), 0);
        EXPECT_EQ(read_for(slave, 1, 50), "") << "bytes of the key left for the shell";
    }

    void keeps_terminal()
    {
        termios t{};
        ASSERT_EQ(tcgetattr(slave, &t), 0);
        EXPECT_TRUE(t.c_iflag == before.c_iflag && t.c_oflag == before.c_oflag &&
                    t.c_cflag == before.c_cflag && t.c_lflag == before.c_lflag &&
                    std::memcmp(t.c_cc, before.c_cc, sizeof t.c_cc) == 0)
            << "the terminal's settings changed";
    }

    // Stopped, the terminal is the shell's (a shell puts its mode back after
    // SIGSTOP, which cannot be caught); continued, the wait is on again.
    void stop(int sig)
    {
        ASSERT_NO_FATAL_FAILURE(signal_job(sig));
        ASSERT_EQ(read_for(stops, 1), "s") << "not stopped";
        EXPECT_TRUE(sig != SIGSTOP || tcsetattr(slave, TCSANOW, &before) == 0);
        keeps_terminal();
        ASSERT_NO_FATAL_FAILURE(signal_job(SIGCONT));
        ASSERT_TRUE(waits_for_key()) << "not waiting again after SIGCONT";
    }

    void ends_by(int sig)
    {
        ASSERT_NO_FATAL_FAILURE(signal_job(sig));
        const int got = wait_status();
        EXPECT_TRUE(WIFSIGNALED(got) && WTERMSIG(got) == sig) << got;
        EXPECT_EQ(read_for(out, 1, 200), "");
        keeps_terminal();
    }

    // A job that cannot have the terminal answers without waiting.
    void no_wait()
    {
        EXPECT_EQ(read_for(out, prompt.size()), prompt);
        ASSERT_EQ(write(in, "0123456789\n", 11), 11);
        EXPECT_EQ(read_for(out, 1U << 20), verdict + closing);
        EXPECT_EQ(wait_status(), 0);
        keeps_terminal();
    }

    // The reader of standard output goes: the pipe's, or the terminal's
    // master, which hangs the terminal up.
    void drop_output()
    {
        close(out);
        master = out == master ? -1 : master;
        out = -1;
    }

    void write_fails(const std::string &reason)
    {
        EXPECT_EQ(read_for(err, 1U << 20), "isbn10: write error: " + reason + "\n");
        const int got = wait_status();
        EXPECT_TRUE(WIFEXITED(got) && WEXITSTATUS(got) == 1) << got;
    }

    // A key held down: a byte every 20 ms until the closing line comes,
    // which the time cap brings.
    void hold_key()
    {
        const auto start = steady_clock::now();
        while (ms_since(start) < 5000 && !ready(out, 20))
            send("a");
        EXPECT_EQ(read_for(out, closing.size()), closing);
        EXPECT_GT(ms_since(start), 1500);
        EXPECT_LT(ms_since(start), 3500);
        EXPECT_EQ(wait_status(), 0);
        keeps_terminal();
    }
};
