// The key wait at a real (pseudo-)terminal: the program is started as the
// session leader of a fresh pty, which becomes its controlling terminal,
// with the token on a pipe and standard output on another pipe.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

namespace {

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
    pid_t pid = -1;
    termios before{};

    ~pty_run()
    {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        for (int fd : {master, slave, in, out})
            if (fd >= 0)
                close(fd);
    }
};

// Starts the program with the token on a pipe (r.in) and standard output on
// another (r.out); with `full`, standard input is the terminal, standard
// output /dev/full and standard error the pipe r.out.
void start(pty_run &r, bool full = false)
{
    ASSERT_EQ(openpty(&r.master, &r.slave, nullptr, nullptr, nullptr), 0);
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
    ASSERT_EQ(pipe(in), 0);
    ASSERT_EQ(pipe(out), 0);
    r.pid = fork();
    ASSERT_GE(r.pid, 0);
    if (r.pid == 0) {
        setsid();
        ioctl(r.slave, TIOCSCTTY, 0);
        if (full) {
            int full_fd = open("/dev/full", O_WRONLY);
            dup2(r.slave, 0);
            dup2(full_fd, 1);
            dup2(out[1], 2);
            close(full_fd);
        } else {
            dup2(in[0], 0);
            dup2(out[1], 1);
        }
        for (int fd : {in[0], in[1], out[0], out[1], r.master, r.slave})
            close(fd);
        rlimit no_core = {0, 0};
        setrlimit(RLIMIT_CORE, &no_core);
        char *no_env[] = {nullptr};
        execle(ISBN10_PATH, "isbn10", static_cast<char *>(nullptr), no_env);
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    r.in = in[1];
    r.out = out[0];
}

// What arrives on fd within `ms`, stopping early once `want` bytes or EOF have come.
std::string read_for(int fd, size_t want, int ms)
{
    std::string got;
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (got.size() < want) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        pollfd p = {fd, POLLIN, 0};
        if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0)
            break;
        char buf[256];
        ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0)
            break;
        got.append(buf, static_cast<size_t>(n));
    }
    return got;
}

// The prompt shows before the program reads; then the verdict follows the token.
void answer_prompt(pty_run &r)
{
    EXPECT_EQ(read_for(r.out, prompt.size(), 5000), prompt);
    ASSERT_EQ(write(r.in, "0123456789\n", 11), 11);
    close(r.in);
    r.in = -1;
    EXPECT_EQ(read_for(r.out, verdict.size(), 5000), verdict);
}

// True once the program has switched the terminal to single-key mode.
bool waits_for_key(int slave)
{
    for (int i = 0; i < 500; ++i) {
        termios t{};
        if (tcgetattr(slave, &t) == 0 && (t.c_lflag & ICANON) == 0)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
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

struct key_case {
    const char *name;
    const char *first;  // bytes the key sends at once
    const char *second; // bytes arriving a moment later, as over a slow link
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
    {"utf8_character", "\xE3\x81\x82", ""},
};

TEST(key_wait, any_key_ends_the_wait_silently_and_leaves_the_terminal_as_it_was)
{
    for (const key_case &k : keys) {
        SCOPED_TRACE(k.name);
        pty_run r;
        ASSERT_NO_FATAL_FAILURE(start(r));
        ASSERT_NO_FATAL_FAILURE(answer_prompt(r));
        ASSERT_TRUE(waits_for_key(r.slave));
        EXPECT_EQ(read_for(r.out, 1, 200), "") << "closing line before any key";

        ASSERT_GT(write(r.master, k.first, std::strlen(k.first)), 0);
        if (*k.second != '\0') {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            ASSERT_GT(write(r.master, k.second, std::strlen(k.second)), 0);
        }
        EXPECT_EQ(read_for(r.out, closing.size() + 1, 5000), closing);
        int status = wait_status(r);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

        int pending = -1;
        ASSERT_EQ(ioctl(r.slave, FIONREAD, &pending), 0);
        EXPECT_EQ(pending, 0) << "bytes of the key left for the shell";
        EXPECT_EQ(read_for(r.master, 1, 50), "") << "the key was echoed";
        termios after{};
        ASSERT_EQ(tcgetattr(r.slave, &after), 0);
        EXPECT_TRUE(same_settings(r.before, after));
    }
}

TEST(key_wait, a_signal_during_the_wait_restores_the_terminal_and_ends_with_that_signal)
{
    for (int sig : {SIGTERM, SIGHUP, SIGINT, SIGQUIT}) {
        SCOPED_TRACE(strsignal(sig));
        pty_run r;
        ASSERT_NO_FATAL_FAILURE(start(r));
        ASSERT_NO_FATAL_FAILURE(answer_prompt(r));
        ASSERT_TRUE(waits_for_key(r.slave));

        ASSERT_EQ(kill(r.pid, sig), 0);
        int status = wait_status(r);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << status;
        EXPECT_EQ(read_for(r.out, 1, 200), "");
        termios after{};
        ASSERT_EQ(tcgetattr(r.slave, &after), 0);
        EXPECT_TRUE(same_settings(r.before, after));
    }
}

TEST(key_wait, a_prompt_that_cannot_be_written_ends_the_program_at_once)
{
    pty_run r;
    ASSERT_NO_FATAL_FAILURE(start(r, true));
    const std::string message = "isbn10: write error: No space left on device\n";
    EXPECT_EQ(read_for(r.out, message.size() + 1, 1000), message);
    int status = wait_status(r, 100);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
}

} // namespace
