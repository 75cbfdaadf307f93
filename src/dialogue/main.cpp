#include "console/console.h"
#include "isbn_dialogue.h"
#include "messages.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// A lost line is a failure, not a success: report it and end with status 1.
int finish_output()
{
    int err = 0;
    if (std::fflush(stdout) != 0)
        err = errno;
    else if (std::ferror(stdout) != 0)
        err = EIO; // an earlier flush failed; its errno is long gone
    if (err == 0)
        return 0;
    std::fprintf(stderr, "isbn10: write error: %s\n", std::strerror(err));
    return 1;
}

} // namespace

int main()
{
    isbn_dialogue();
    // The verdict must be on the screen while we wait for the key.
    std::fflush(stdout);
    console_wait_key();
    put_text(msg_closing);
    return finish_output();
}
