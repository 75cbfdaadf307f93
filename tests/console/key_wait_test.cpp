// The key wait at a real (pseudo-)terminal: the program is started as the
// session leader of a fresh pty, which becomes its controlling terminal,
// with the token on a pipe and standard output on another pipe. POSIX
// interfaces only. Arguments: the program's command line.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/select.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

char **command_line; // what runs the program, from main

const std::string prompt =
    "ISBN\x82\xF0\x93\xFC\x97\xCD\x82\xB5\x82\xC4\x82\xAD\x82\xBE\x82\xB3\x82\xA2\x81\x42\n";
const std::string verdict = "gokei = 165\n"
                            "\x90\xB3\x82\xB5\x82\xA2\x94\xD4\x8D\x86\x82\xC5\x82\xB7\x81\x42\n";
const std::string closing = "\x82\xA8\x82\xB5\x82\xDC\x82\xA2\x81\x49\n";

struct pty_run {
    int master = -1;
    int slave = -1;
    int in = -1;
    int out = -1;
    int stops = -1; // a byte each time the program stops, as a shell learns of it
    pid_t pid = -1;
    termios before{};

    ~pty_run()
    {
        pid_t job = master >= 0 ? tcgetpgrp(master) : -1;
        if (job > 0 && job != pid)
            kill(-job, SIGKILL);
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        for (int fd : {master, slave, in, out, stops})
            if (fd >= 0)
                close(fd);
    }
};

enum class setup {
    token_on_pipe,           // the token on the pipe r.in, standard output on the pipe r.out
    output_full,             // standard input the terminal, output /dev/full, error r.out
    nonblocking_terminal,    // standard input the terminal, left O_NONBLOCK; output r.out
    background_ignoring_ttou // as token_on_pipe, but a background job with SIGTTOU ignored
};

// Starts the program as a shell starts a job: a session leader of its own on
// the pty (r.pid) runs it in a process group of its own, in the foreground
// unless asked otherwise, and ends as it does.
void start(pty_run &r, setup how = setup::token_on_pipe)
{
    r.master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(r.master, 0);
    ASSERT_EQ(grantpt(r.master), 0);
    ASSERT_EQ(unlockpt(r.master), 0);
    const char *name = ptsname(r.master);
    ASSERT_NE(name, nullptr);
    r.slave = open(name, O_RDWR | O_NOCTTY);
    ASSERT_GE(r.slave, 0);
    // Settings a terminal may well have but a naive restore would not bring back.
    termios set{};
    ASSERT_EQ(tcgetattr(r.slave, &set), 0);
    set.c_iflag &= ~IXON;
    set.c_lflag &= ~ECHOCTL;
    set.c_cc[VERASE] = 0x08;
    ASSERT_EQ(tcsetattr(r.slave, TCSANOW, &set), 0);
    ASSERT_EQ(tcgetattr(r.slave, &r.before), 0);

    int in[2];
    int out[2];
    int stops[2];
    ASSERT_EQ(pipe(in), 0);
    ASSERT_EQ(pipe(out), 0);
    ASSERT_EQ(pipe(stops), 0);
    r.pid = fork();
    ASSERT_GE(r.pid, 0);
    if (r.pid == 0) {
        setsid();
        ioctl(r.slave, TIOCSCTTY, 0);
        for (int sig = 1; sig < NSIG; ++sig)
            signal(sig, SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        rlimit no_core = {0, 0};
        setrlimit(RLIMIT_CORE, &no_core);
        pid_t job = fork();
        if (job == 0) {
            setpgid(0, 0);
            signal(SIGTTOU, SIG_IGN);
            if (how != setup::background_ignoring_ttou) {
                tcsetpgrp(r.slave, getpid());
                signal(SIGTTOU, SIG_DFL);
            }
            int full_fd = open("/dev/full", O_WRONLY);
            if (how == setup::nonblocking_terminal)
                fcntl(r.slave, F_SETFL, fcntl(r.slave, F_GETFL) | O_NONBLOCK);
            dup2(how == setup::output_full || how == setup::nonblocking_terminal ? r.slave : in[0],
                 0);
            dup2(how == setup::output_full ? full_fd : out[1], 1);
            if (how == setup::output_full)
                dup2(out[1], 2);
            for (int fd :
                 {in[0], in[1], out[0], out[1], stops[0], stops[1], r.master, r.slave, full_fd})
                close(fd);
            char *no_env[] = {nullptr};
            execve(command_line[0], command_line, no_env);
            _exit(127);
        }
        for (int fd : {in[0], in[1], out[0], out[1], stops[0], r.master, r.slave})
            close(fd);
        int status = 0;
        for (;;) {
            pid_t got = waitpid(job, &status, WUNTRACED);
            if (got < 0 && errno == EINTR)
                continue;
            if (got != job || !WIFSTOPPED(status) || write(stops[1], "s", 1) != 1)
                break;
        }
        if (WIFSIGNALED(status))
            raise(WTERMSIG(status));
        _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 127);
    }
    close(in[0]);
    close(out[1]);
    close(stops[1]);
    r.in = in[1];
    r.out = out[0];
    r.stops = stops[0];
}

// True when fd has something to read within `ms`; select, as poll does not
// work on terminals on macOS.
bool readable(int fd, int ms)
{
    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(fd, &ready);
    timeval wait = {ms / 1000, ms % 1000 * 1000};
    return select(fd + 1, &ready, nullptr, nullptr, &wait) > 0;
}

// What arrives on fd within `ms`, stopping early once `want` bytes or EOF have come.
std::string read_for(int fd, size_t want, int ms)
{
    std::string got;
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (got.size() < want) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !readable(fd, static_cast<int>(left.count())))
            break;
        char buf[256];
        ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0)
            break;
        got.append(buf, static_cast<size_t>(n));
    }
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

// True once the program has switched the terminal to single-key mode.
bool waits_for_key(int slave)
{
    return eventually([slave] {
        termios t{};
        return tcgetattr(slave, &t) == 0 && (t.c_lflag & ICANON) == 0;
    });
}

// Started as a job; the prompt shows before the program reads, the verdict
// follows the token, then the program waits for the key.
void start_waiting(pty_run &r)
{
    ASSERT_NO_FATAL_FAILURE(start(r));
    EXPECT_EQ(read_for(r.out, prompt.size(), 5000), prompt);
    ASSERT_EQ(write(r.in, "0123456789\n", 11), 11);
    close(r.in);
    r.in = -1;
    EXPECT_EQ(read_for(r.out, verdict.size(), 5000), verdict);
    ASSERT_TRUE(waits_for_key(r.slave));
}

// The exit status, or -1 when the program is still running after `ticks` x 10 ms.
int wait_status(pty_run &r, int ticks = 500)
{
    int status = -1;
    for (int i = 0; i < ticks; ++i) {
        if (waitpid(r.pid, &status, WNOHANG) == r.pid) {
            r.pid = -1;
            return status;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
}

bool same_settings(const termios &a, const termios &b)
{
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

// The foreground job: the program, in the process group that start() made.
pid_t job(const pty_run &r)
{
    return tcgetpgrp(r.master);
}

// After the key: the closing line, status 0, no echo, the settings as they
// were, and nothing of the key left for the shell, which reads in
// non-canonical mode too.
void ends_cleanly(pty_run &r)
{
    EXPECT_EQ(read_for(r.out, closing.size() + 1, 5000), closing);
    int status = wait_status(r);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    termios after{};
    ASSERT_EQ(tcgetattr(r.slave, &after), 0);
    EXPECT_TRUE(same_settings(r.before, after));
    EXPECT_EQ(read_for(r.master, 1, 50), "") << "the key was echoed";
    termios shell = after;
    shell.c_lflag &= ~ICANON;
    shell.c_cc[VMIN] = 0;
    shell.c_cc[VTIME] = 0;
    ASSERT_EQ(tcsetattr(r.slave, TCSANOW, &shell), 0);
    EXPECT_EQ(read_for(r.slave, 1, 50), "") << "bytes of the key left for the shell";
}

// 200 lines for the shell, about 5,800 bytes pasted at the wait.
std::string paste()
{
    std::string text;
    for (int i = 0; i < 200; ++i)
        text += "echo 'line " + std::to_string(i) + " of the paste' >> pasted\n";
    return text;
}

struct key_case {
    const char *name;
    std::string first;  // bytes the key sends at once
    std::string second; // bytes arriving once the program has read the first, as over a slow link
};

const key_case keys[] = {
    {"letter", "a", ""},
    {"enter", "\r", ""},
    {"space", " ", ""},
    {"ctrl_c", "\x03", ""},
    {"ctrl_z", "\x1a", ""},
    {"ctrl_backslash", "\x1c", ""},
    {"ctrl_s", "\x13", ""},
    {"escape", "\x1b", ""},
    {"cursor_up", "\x1b[A", ""},
    {"f1", "\x1bOP", ""},
    {"f5", "\x1b[15~", ""},
    {"cursor_up_split", "\x1b", "[A"},
    {"f5_split", "\x1b[1", "5~"},
    {"utf8_character", "\xE3\x81\x82", ""},
    {"utf8_split_after_lead_byte", "\xE3", "\x81\x82"},
    {"paste", paste(), ""},
    {"paste_in_two_parts", paste(), paste()},
};

// Each row runs on its own, so that a failing one does not stop the rest.
TEST(key_wait, any_key_ends_the_wait_silently_and_leaves_the_terminal_as_it_was)
{
    for (const key_case &k : keys)
        [&k] {
            SCOPED_TRACE(k.name);
            pty_run r;
            ASSERT_NO_FATAL_FAILURE(start_waiting(r));
            EXPECT_EQ(read_for(r.out, 1, 200), "") << "closing line before any key";

            if (!k.second.empty()) {
                // The first part is seen to arrive while the program is stopped, then
                // to be read once it continues; the second follows at once, well
                // inside the quiet window that the first read opened.
                ASSERT_EQ(kill(job(r), SIGSTOP), 0);
                ASSERT_EQ(read_for(r.stops, 1, 5000), "s");
                ASSERT_EQ(write(r.master, k.first.data(), k.first.size()), ssize_t(k.first.size()));
                ASSERT_TRUE(readable(r.slave, 5000));
                ASSERT_EQ(kill(job(r), SIGCONT), 0);
                ASSERT_TRUE(eventually([&r] { return !readable(r.slave, 0); }));
                ASSERT_EQ(write(r.master, k.second.data(), k.second.size()),
                          ssize_t(k.second.size()));
            } else {
                ASSERT_EQ(write(r.master, k.first.data(), k.first.size()), ssize_t(k.first.size()));
            }
            ends_cleanly(r);
        }();
}

TEST(key_wait, a_signal_during_the_wait_restores_the_terminal_and_ends_with_that_signal)
{
    for (int sig : {SIGTERM, SIGHUP, SIGINT, SIGQUIT, SIGUSR1, SIGALRM, SIGPIPE, SIGXFSZ, SIGABRT})
        [sig] {
            SCOPED_TRACE(strsignal(sig));
            pty_run r;
            ASSERT_NO_FATAL_FAILURE(start_waiting(r));

            ASSERT_EQ(kill(job(r), sig), 0);
            int status = wait_status(r);
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << status;
            EXPECT_EQ(read_for(r.out, 1, 200), "");
            termios after{};
            ASSERT_EQ(tcgetattr(r.slave, &after), 0);
            EXPECT_TRUE(same_settings(r.before, after));
        }();
}

// Stopped, the shell's mode is back (a shell sets it after SIGSTOP, which
// cannot be caught); after SIGCONT one key ends the wait as before.
TEST(key_wait, a_stop_gives_the_terminal_back_and_continuing_waits_again)
{
    for (int sig : {SIGTSTP, SIGSTOP})
        [sig] {
            SCOPED_TRACE(strsignal(sig));
            pty_run r;
            ASSERT_NO_FATAL_FAILURE(start_waiting(r));
            pid_t program = job(r);

            ASSERT_EQ(kill(program, sig), 0);
            ASSERT_EQ(read_for(r.stops, 1, 5000), "s") << "not stopped";
            if (sig == SIGSTOP) {
                ASSERT_EQ(tcsetattr(r.slave, TCSANOW, &r.before), 0);
            }
            termios stopped{};
            ASSERT_EQ(tcgetattr(r.slave, &stopped), 0);
            EXPECT_TRUE(same_settings(r.before, stopped))
                << "the stopped program kept the terminal";

            ASSERT_EQ(kill(program, SIGCONT), 0);
            ASSERT_TRUE(waits_for_key(r.slave));
            ASSERT_EQ(write(r.master, "a", 1), 1);
            ends_cleanly(r);
        }();
}

// An O_NONBLOCK that an earlier program left on the terminal: the token is
// still waited for, and the flags are as they were afterwards.
TEST(key_wait, a_non_blocking_standard_input_still_waits_for_the_token)
{
    pty_run r;
    ASSERT_NO_FATAL_FAILURE(start(r, setup::nonblocking_terminal));
    EXPECT_EQ(read_for(r.out, prompt.size(), 5000), prompt);
    EXPECT_EQ(read_for(r.out, 1, 300), "") << "a verdict before the token was typed";
    ASSERT_EQ(write(r.master, "0123456789\r", 11), 11);
    EXPECT_EQ(read_for(r.out, verdict.size(), 5000), verdict);
    ASSERT_TRUE(waits_for_key(r.slave));
    read_for(r.master, 100, 200); // the token's echo
    ASSERT_EQ(write(r.master, "a", 1), 1);
    ends_cleanly(r);
    EXPECT_NE(fcntl(r.slave, F_GETFL) & O_NONBLOCK, 0);
}

// A background job that cannot be stopped leaves the terminal to the shell.
TEST(key_wait, a_background_job_ignoring_sigttou_does_not_take_the_terminal)
{
    pty_run r;
    ASSERT_NO_FATAL_FAILURE(start(r, setup::background_ignoring_ttou));
    EXPECT_EQ(read_for(r.out, prompt.size(), 5000), prompt);
    ASSERT_EQ(write(r.in, "0123456789\n", 11), 11);
    EXPECT_EQ(read_for(r.out, 100, 5000), verdict + closing);
    int status = wait_status(r);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    termios after{};
    ASSERT_EQ(tcgetattr(r.slave, &after), 0);
    EXPECT_TRUE(same_settings(r.before, after));
}

TEST(key_wait, a_prompt_that_cannot_be_written_ends_the_program_at_once)
{
    pty_run r;
    ASSERT_NO_FATAL_FAILURE(start(r, setup::output_full));
    const std::string message = "isbn10: write error: No space left on device\n";
    EXPECT_EQ(read_for(r.out, message.size() + 1, 1000), message);
    int status = wait_status(r, 100);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
}

} // namespace

// Usage: key_wait_test [GTEST_FLAGS] PROGRAM [ARGS...]
int main(int argc, char **argv)
{
    testing::InitGoogleTest(&argc, argv);
    command_line = argv + 1;
    return argc < 2 ? 2 : RUN_ALL_TESTS();
}
