#include "console/console.h"
#include "isbn_dialogue.h"
#include "output.h"

int main()
{
    buffer_output();
    isbn_dialogue();
    console_wait_key();
    put_line(msg_closing);
    close_output();
    return 0;
}
