#include "output.h"

#include "console/console.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

[[noreturn]] void write_failed(int err)
{
    std::fprintf(stderr, "isbn10: write error: %s\n", std::strerror(err));
    // Not exit: its flush would try the failed output once more.
    std::_Exit(1);
}

} // namespace

void buffer_output()
{
    std::setvbuf(stdout, nullptr, _IOFBF, BUFSIZ);
}

void put_line(message_id id)
{
    const int err = console_put(messages[id].sjis, messages[id].utf8);
    if (err != 0)
        write_failed(err);
}

void close_output()
{
    errno = 0;
    if (std::fclose(stdout) != 0)
        write_failed(errno != 0 ? errno : EIO);
}
