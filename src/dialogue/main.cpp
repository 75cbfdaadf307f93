#include "console/console.h"
#include "isbn_dialogue.h"
#include "messages.h"

int main()
{
    isbn_dialogue();
    // The verdict must be on the screen while we wait for the key.
    show_text();
    console_wait_key();
    put_text(msg_closing);
    show_text();
    return 0;
}
