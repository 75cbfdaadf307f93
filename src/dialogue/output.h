#pragma once

#include "messages.h"

// Standard output, through which every line of the program leaves: a line is
// out, or the program says why not and ends.

// Makes standard output hold what is written to it until put_line flushes
// it, the check's trace line included, so that every write to the file
// happens where its failure is caught. Must come before any output.
void buffer_output();

// Writes the message as one whole line and flushes standard output with it,
// so that the line is out before the program reads or waits. When the write
// fails, says "isbn10: write error: REASON" on standard error and ends the
// program with status 1 at once, reading and waiting for nothing more: a lost
// line is a failure, never passed off as success.
void put_line(message_id id);

// Closes standard output after the last line. Some file systems (NFS, some
// FUSE ones) report a failed write only at the close; it fails like a write.
void close_output();
