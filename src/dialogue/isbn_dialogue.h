#pragma once

// One exchange with the user: prompt, read one token from standard input,
// check it, write the verdict. Returns 0.
int isbn_dialogue();
