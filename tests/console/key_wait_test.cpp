// The key wait at a real (pseudo-)terminal, case by case: how the job
// starts (pty_job.h), how it must end, and what the user or the system does
// once it waits. Each row is a test of its own, so that CTest can run them
// side by side. Arguments: the program's command line.
#include "pty_job.h"

#include <functional>

namespace {

char **command_line; // what runs the program, from main

struct wait_case {
    const char *name;
    unsigned flags;
    job_end end;
    // What is done once the job waits; at once where it never does
    // (background, full_output), and once it has answered where it answers.
    std::function<void(pty_job &)> act;
    std::string typed = "0123456789\r"; // at the prompt, for a job with tty_input
};

// Lines for the shell pasted at the wait: 200 make 7,690 bytes, 13 make 484,
// within what a stopped job's terminal holds on macOS (about 1 KB).
std::string paste(int lines = 200)
{
    std::string text;
    for (int i = 0; i < lines; ++i)
        text += "echo 'line " + std::to_string(i) + " of the paste' >> pasted\n";
    return text;
}

void nothing(pty_job &) {}

const wait_case cases[] = {
    // Any key ends the wait at once, unechoed, and nothing of it is left.
    {"letter", 0, closes, [](auto &j) { j.press(); }},
    {"enter", 0, closes, [](auto &j) { j.press("\r"); }},
    {"space", 0, closes, [](auto &j) { j.press(" "); }},
    {"ctrl_c_ctrl_z_ctrl_backslash", 0, closes, [](auto &j) { j.press("\x03\x1a\x1c"); }},
    {"ctrl_s", stock_terminal, closes, [](auto &j) { j.press("\x13"); }}, // IXON on
    {"escape", 0, closes, [](auto &j) { j.press("\x1b"); }},
    {"cursor_up", 0, closes, [](auto &j) { j.press("\x1b[A"); }},
    {"f1", 0, closes, [](auto &j) { j.press("\x1bOP"); }},
    {"f5", 0, closes, [](auto &j) { j.press("\x1b[15~"); }},
    {"cursor_up_split", 0, closes, [](auto &j) { j.press("\x1b", "[A"); }},
    {"cursor_up_30ms_apart", 0, closes, [](auto &j) { j.press("\x1b", "[A", 30); }},
    {"f5_split", 0, closes, [](auto &j) { j.press("\x1b[1", "5~"); }},
    {"utf8_character", 0, closes, [](auto &j) { j.press("\xE3\x81\x82"); }},
    {"utf8_split_after_lead_byte", 0, closes, [](auto &j) { j.press("\xE3", "\x81\x82"); }},
    {"paste", 0, closes, [](auto &j) { j.press(paste()); }},
    {"paste_in_two_parts", 0, closes, [](auto &j) { j.press(paste(13), paste(13)); }},
    {"vmin_zero_in_the_settings", vmin_zero, closes, [](auto &j) { j.press(); }},
    {"tty_above_fd_setsize_split", high_fd, closes, [](auto &j) { j.press("\x1b", "[A", 30); }},
    {"tty_above_fd_setsize_paste", high_fd, closes, [](auto &j) { j.press(paste(13), paste(13)); }},
    // The quiet window is short: a key typed well after it is the shell's.
    {"key_after_the_quiet_window", 0, job_end{0, 0, closing, "", "b"},
     [](auto &j) { j.press(), std::this_thread::sleep_for(300ms), j.press("b"); }},
    // The time cap ends a burst that goes on; the program reads 256 bytes at
    // a time, so a stream 257 at a time leaves one when it has passed.
    {"key_held_down", 0, closes, [](auto &j) { j.hold("a"); }},
    {"stream_past_the_cap", 0, closes, [](auto &j) { j.hold(std::string(257, 'a')); }},
    // Only a key pressed after the verdict counts; a non-blocking standard
    // input still waits for the token.
    {"token_typed_nonblocking", tty_input | nonblocking, closes, [](auto &j) { j.press(); }},
    {"key_typed_with_the_token", tty_input, closes, [](auto &j) { j.press(); }, "0123456789\rz"},
    {"two_lines_typed", tty_input, closes, [](auto &j) { j.press(); }, "0123456789\r1234\r"},
#ifdef __linux__ // a line past glibc's 1,024-byte buffer; macOS's MAX_INPUT is 1,024
    {"line_over_1024_bytes", tty_input, closes, [](auto &j) { j.press(); },
     "0123456789 " + std::string(1100, 'x') + "\r"},
#endif
    // A signal that would end the program puts the terminal back first,
    // then ends it; one the caller ignored is not taken over. The fault
    // signals sent are those a sanitizer leaves to the program.
    {"sigterm", 0, killed_by(SIGTERM), [](auto &j) { j.signal_job(SIGTERM); }},
    {"sighup", 0, killed_by(SIGHUP), [](auto &j) { j.signal_job(SIGHUP); }},
    {"sigint", 0, killed_by(SIGINT), [](auto &j) { j.signal_job(SIGINT); }},
    {"sigquit", 0, killed_by(SIGQUIT), [](auto &j) { j.signal_job(SIGQUIT); }},
    {"sigusr1", 0, killed_by(SIGUSR1), [](auto &j) { j.signal_job(SIGUSR1); }},
    {"sigalrm", 0, killed_by(SIGALRM), [](auto &j) { j.signal_job(SIGALRM); }},
    {"sigpipe", 0, killed_by(SIGPIPE), [](auto &j) { j.signal_job(SIGPIPE); }},
    {"sigxfsz", 0, killed_by(SIGXFSZ), [](auto &j) { j.signal_job(SIGXFSZ); }},
    {"sigabrt", 0, killed_by(SIGABRT), [](auto &j) { j.signal_job(SIGABRT); }},
    {"sigill_sent", 0, killed_by(SIGILL), [](auto &j) { j.signal_job(SIGILL); }},
    {"sigtrap_sent", 0, killed_by(SIGTRAP), [](auto &j) { j.signal_job(SIGTRAP); }},
    // Keys typed before it go with the terminal's settings, not to the shell.
    {"sigterm_with_keys_unread", 0, killed_by(SIGTERM),
     [](auto &j) {
         j.stopped_by(SIGSTOP), j.put(j.master, paste(13)), j.signal_job(SIGTERM),
             j.put(j.shell, "f");
     }},
#ifdef SIGRTMIN
    {"sigrtmin", 0, killed_by(SIGRTMIN), [](auto &j) { j.signal_job(SIGRTMIN); }},
#endif
#ifdef SIGCONT_FIRST
    // Where the lowest number goes first, a SIGCONT that came while the
    // handler ran acts before the death, and leaves the terminal as it is;
    // the library says on standard error that it ran.
    {"sigxfsz_sigcont_first", cont_first, job_end{0, SIGXFSZ, "", "raise: SIGCONT first\n"},
     [](auto &j) { j.signal_job(SIGXFSZ); }},
#endif
    {"sighup_under_nohup", hup_ignored, closes, [](auto &j) { j.signal_job(SIGHUP), j.press(); }},
    // Stopped, the terminal is the shell's; after fg the wait goes on, and
    // after bg it waits in the background, where reading stops it again.
    {"sigtstp", 0, closes, [](auto &j) { j.stop(SIGTSTP), j.press(); }},
    {"sigstop", 0, closes, [](auto &j) { j.stop(SIGSTOP), j.press(); }},
    {"sigtstp_twice", 0, closes, [](auto &j) { j.stop(SIGTSTP), j.stop(SIGTSTP), j.press(); }},
    {"sigstop_twice", 0, closes, [](auto &j) { j.stop(SIGSTOP), j.stop(SIGSTOP), j.press(); }},
    {"sigstop_every_signal_blocked", mask_all, closes, [](auto &j) { j.stop(SIGSTOP), j.press(); }},
    {"sigstop_sigcont_ignored", cont_ignored, closes, [](auto &j) { j.stop(SIGSTOP), j.press(); }},
    {"sigtstp_then_bg", 0, closes, [](auto &j) { j.stop(SIGTSTP, in_background), j.press(); }},
    // In an orphaned process group the kernel discards the stop.
    {"sigtstp_orphaned", orphaned, closes,
     [](auto &j) { j.signal_job(SIGTSTP), j.to_wait(), j.press(); }},
    // Started in the background, the job stops at the wait until fg; one
    // that cannot stop, or whose shell has gone, answers without waiting.
    {"background_until_fg", background, closes, [](auto &j) { j.stop(0), j.press(); }},
    {"background_ignoring_sigttou", background | ttou_ignored, closes, nothing},
    {"background_orphaned", background | orphaned, closes, nothing},
    // Output paused with Ctrl+S goes on after Ctrl+Q, O_NONBLOCK or not;
    // output that fails ends the program at once, with the reason.
    {"paused_output_nonblocking", tty_input | tty_output | nonblocking | paused, closes,
     [](auto &j) { j.press(); }},
    {"prompt_to_a_full_disk", full_output, write_error("No space left on device"), nothing},
    {"closing_line_to_a_closed_pipe", pipe_ignored, write_error("Broken pipe"),
     [](auto &j) { j.drop_output(), j.press(); }},
    {"closing_line_to_a_hung_up_terminal", tty_output | hup_ignored,
     write_error("Input/output error"), [](auto &j) { j.drop_output(); }},
};

struct row_test : testing::Test {
    explicit row_test(const wait_case &r) : row(r) {}
    const wait_case &row;

    void TestBody() override
    {
        ASSERT_NE(command_line[0], nullptr) << "usage: key_wait_test PROGRAM [ARGS...]";
        // A run where the machine stalled us between two parts of a key
        // tested nothing; the row runs again, three times at most.
        for (int run = 1; run <= 3; ++run) {
            pty_job j(row.flags);
            ASSERT_NO_FATAL_FAILURE(j.start(command_line));
            if (!(j.flags & full_output)) {
                ASSERT_NO_FATAL_FAILURE(j.answer(row.typed));
            }
            if (!(j.flags & (background | full_output))) {
                ASSERT_NO_FATAL_FAILURE(j.to_wait());
            }
            ASSERT_NO_FATAL_FAILURE(row.act(j));
            if (!j.stalled)
                return j.ends(row.end);
            std::printf("run %d: stalled past the quiet window between two parts\n", run);
        }
        FAIL() << "stalled at every run: nothing tested";
    }
};

} // namespace

// Usage: key_wait_test [GTEST_FLAGS] PROGRAM [ARGS...]
int main(int argc, char **argv)
{
    testing::InitGoogleTest(&argc, argv);
    // A job that has gone fails its row; writing to it must not end the test.
    signal(SIGPIPE, SIG_IGN);
    command_line = argv + 1;
    for (const wait_case &row : cases)
        testing::RegisterTest("key_wait", row.name, nullptr, nullptr, __FILE__, __LINE__,
                              [&row]() -> testing::Test * { return new row_test(row); });
    return RUN_ALL_TESTS();
}
