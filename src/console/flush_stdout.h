#pragma once

// Standard output flushed, for both platforms' console_put.
#include <cerrno>
#include <cstdio>

// Returns 0 when all of standard output is out, otherwise the errno of the
// write that failed, or EIO should the C library leave none.
inline int flush_stdout()
{
    errno = 0;
    return std::fflush(stdout) == 0 ? 0 : errno != 0 ? errno : EIO;
}
