// The key wait at a real (pseudo-)terminal, case by case: how the job
// starts (pty_job.h), and what the user or the system does once it waits.
// Arguments: the program's command line.
#include "pty_job.h"

#include <functional>

namespace {

char **command_line; // what runs the program, from main

struct wait_case {
    const char *name;
    unsigned flags;
    std::function<void(pty_job &)> act; // once the job waits for the key
    std::string typed = "0123456789\r"; // at the prompt, for a job with tty_input
};

// 200 lines for the shell, about 5,800 bytes pasted at the wait.
std::string paste()
{
    std::string text;
    for (int i = 0; i < 200; ++i)
        text += "echo 'line " + std::to_string(i) + " of the paste' >> pasted\n";
    return text;
}

const std::string long_line = "0123456789 " + std::string(1100, 'x') + "\r";

// Jobs that cannot have the terminal, or cannot write, never wait.
const unsigned never_waits = background | orphaned | full_output;

const wait_case cases[] = {
    // Any key ends the wait at once, unechoed, and nothing of it is left.
    {"letter", 0, [](pty_job &j) { j.press("a"); }},
    {"enter", 0, [](pty_job &j) { j.press("\r"); }},
    {"space", 0, [](pty_job &j) { j.press(" "); }},
    {"ctrl_c", 0, [](pty_job &j) { j.press("\x03"); }},
    {"ctrl_z", 0, [](pty_job &j) { j.press("\x1a"); }},
    {"ctrl_backslash", 0, [](pty_job &j) { j.press("\x1c"); }},
    {"ctrl_s", 0, [](pty_job &j) { j.press("\x13"); }},
    {"ctrl_s_on_a_stock_terminal", stock_terminal, [](pty_job &j) { j.press("\x13"); }},
    {"escape", 0, [](pty_job &j) { j.press("\x1b"); }},
    {"cursor_up", 0, [](pty_job &j) { j.press("\x1b[A"); }},
    {"f1", 0, [](pty_job &j) { j.press("\x1bOP"); }},
    {"f5", 0, [](pty_job &j) { j.press("\x1b[15~"); }},
    {"cursor_up_split", 0, [](pty_job &j) { j.press("\x1b", "[A"); }},
    {"cursor_up_30ms_apart", 0, [](pty_job &j) { j.press("\x1b", "[A", 30); }},
    {"f5_split", 0, [](pty_job &j) { j.press("\x1b[1", "5~"); }},
    {"utf8_character", 0, [](pty_job &j) { j.press("\xE3\x81\x82"); }},
    {"utf8_split_after_lead_byte", 0, [](pty_job &j) { j.press("\xE3", "\x81\x82"); }},
    {"paste", 0, [](pty_job &j) { j.press(paste()); }},
    {"paste_in_two_parts", 0, [](pty_job &j) { j.press(paste(), paste()); }},
    {"vmin_zero_in_the_settings", vmin_zero, [](pty_job &j) { j.press("a"); }},
    {"tty_above_fd_setsize_split", high_fd, [](pty_job &j) { j.press("\x1b", "[A", 30); }},
    {"tty_above_fd_setsize_paste", high_fd, [](pty_job &j) { j.press(paste(), paste()); }},
    {"key_held_down", 0, [](pty_job &j) { j.hold_key(); }},
    // Only a key pressed after the verdict counts; a non-blocking standard
    // input still waits for the token.
    {"token_typed_nonblocking", tty_input | nonblocking, [](pty_job &j) { j.press("a"); }},
    {"key_typed_with_the_token", tty_input, [](pty_job &j) { j.press("a"); }, "0123456789\rz"},
    {"two_lines_typed", tty_input, [](pty_job &j) { j.press("a"); }, "0123456789\r1234\r"},
    {"line_over_1024_bytes", tty_input, [](pty_job &j) { j.press("a"); }, long_line},
    // A signal that would end the program puts the terminal back first,
    // then ends it; one the caller ignored is not taken over. The fault
    // signals sent are those a sanitizer leaves to the program.
    {"sigterm", 0, [](pty_job &j) { j.ends_by(SIGTERM); }},
    {"sighup", 0, [](pty_job &j) { j.ends_by(SIGHUP); }},
    {"sigint", 0, [](pty_job &j) { j.ends_by(SIGINT); }},
    {"sigquit", 0, [](pty_job &j) { j.ends_by(SIGQUIT); }},
    {"sigusr1", 0, [](pty_job &j) { j.ends_by(SIGUSR1); }},
    {"sigalrm", 0, [](pty_job &j) { j.ends_by(SIGALRM); }},
    {"sigpipe", 0, [](pty_job &j) { j.ends_by(SIGPIPE); }},
    {"sigxfsz", 0, [](pty_job &j) { j.ends_by(SIGXFSZ); }},
    {"sigabrt", 0, [](pty_job &j) { j.ends_by(SIGABRT); }},
    {"sigill_sent", 0, [](pty_job &j) { j.ends_by(SIGILL); }},
    {"sigtrap_sent", 0, [](pty_job &j) { j.ends_by(SIGTRAP); }},
    {"sigrtmin", 0, [](pty_job &j) { j.ends_by(SIGRTMIN); }},
    {"sighup_under_nohup", hup_ignored, [](pty_job &j) { j.signal_job(SIGHUP), j.press("a"); }},
    // Stopped, the terminal is the shell's; after fg the wait goes on.
    {"sigtstp", 0, [](pty_job &j) { j.stop(SIGTSTP), j.press("a"); }},
    {"sigstop", 0, [](pty_job &j) { j.stop(SIGSTOP), j.press("a"); }},
    {"sigtstp_twice", 0, [](pty_job &j) { j.stop(SIGTSTP), j.stop(SIGTSTP), j.press("a"); }},
    {"sigstop_every_signal_blocked", mask_all, [](pty_job &j) { j.stop(SIGSTOP), j.press("a"); }},
    {"sigstop_sigcont_ignored", cont_ignored, [](pty_job &j) { j.stop(SIGSTOP), j.press("a"); }},
    // A job that cannot have the terminal answers without waiting.
    {"background_ignoring_sigttou", background, [](pty_job &j) { j.no_wait(); }},
    {"background_orphaned", orphaned, [](pty_job &j) { j.no_wait(); }},
    // Output paused with Ctrl+S goes on after Ctrl+Q, O_NONBLOCK or not;
    // output that fails ends the program at once, with the reason.
    {"paused_output_nonblocking", tty_input | tty_output | nonblocking | paused,
     [](pty_job &j) { j.press("a"); }},
    {"prompt_to_a_full_disk", full_output,
     [](pty_job &j) { j.write_fails("No space left on device"); }},
    {"closing_line_to_a_closed_pipe", pipe_ignored,
     [](pty_job &j) { j.drop_output(), j.send("a"), j.write_fails("Broken pipe"); }},
    {"closing_line_to_a_hung_up_terminal", tty_output | hup_ignored,
     [](pty_job &j) { j.drop_output(), j.write_fails("Input/output error"); }},
};

class key_wait : public testing::TestWithParam<wait_case> {};

TEST_P(key_wait, case)
{
    const wait_case &row = GetParam();
    pty_job j(row.flags);
    ASSERT_NO_FATAL_FAILURE(j.start(command_line));
    if (!(j.flags & never_waits)) {
        ASSERT_NO_FATAL_FAILURE(j.to_wait(row.typed));
    }
    row.act(j);
}

INSTANTIATE_TEST_SUITE_P(rows, key_wait, testing::ValuesIn(cases),
                         [](const testing::TestParamInfo<wait_case> &row) {
                             return std::string(row.param.name);
                         });

} // namespace

// Usage: key_wait_test [GTEST_FLAGS] PROGRAM [ARGS...]
int main(int argc, char **argv)
{
    testing::InitGoogleTest(&argc, argv);
    command_line = argv + 1;
    return argc < 2 ? 2 : RUN_ALL_TESTS();
}
