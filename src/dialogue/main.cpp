#include "console/console.h"
#include "isbn_dialogue.h"
#include "messages.h"

int main()
{
    isbn_dialogue();
    // The verdict must be on the screen while we wait for the key.
    flush_or_exit();
    console_wait_key();
    put_text(msg_closing);
    flush_or_exit();
    return 0;
}
