// Preloaded into the program by the key-wait rows with the flag cont_first:
// the signal that a handler raises again comes after a SIGCONT. Both are
// sent to the process, so Linux, like any kernel that takes the lowest
// number first (XNU), delivers SIGCONT first to a program that raises a
// signal numbered above it. The mark on standard error shows the row that
// this raise ran, and not the C library's.
#include <signal.h>
#include <unistd.h>

extern "C" int raise(int sig) noexcept
{
    if (write(STDERR_FILENO, "raise: SIGCONT first\n", 21) != 21)
        return -1;
    kill(getpid(), SIGCONT);
    return kill(getpid(), sig);
}
