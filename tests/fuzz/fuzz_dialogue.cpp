// Arbitrary bytes as standard input of one exchange: the output is always the
// prompt, the trace line for a ten-byte token only, and the one verdict for
// the token the C library's "%s" would read, cut to 63 bytes.
#include "dialogue/isbn_dialogue.h"
#include "dialogue/messages.h"
#include "oracle.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // Shift_JIS texts, whatever the locale of the fuzzing machine.
    for (const char *name : {"LC_ALL", "LC_CTYPE", "LANG"})
        unsetenv(name);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FILE *input = fmemopen(const_cast<uint8_t *>(data), size, "r");
    if (input == nullptr)
        std::abort();
    FILE *saved = stdin;
    stdin = input;
    std::string out = capture_stdout([] { isbn_dialogue(); });
    stdin = saved;
    std::fclose(input);

    auto space = [](uint8_t c) { return c != 0 && std::strchr(" \t\n\v\f\r", c) != nullptr; };
    size_t start = 0;
    while (start < size && space(data[start]))
        ++start;
    size_t end = start;
    while (end < size && end - start < 63 && !space(data[end]))
        ++end;
    // The check sees the token up to its first NUL byte.
    const void *nul = std::memchr(data + start, '\0', end - start);
    size_t length = nul ? static_cast<const uint8_t *>(nul) - (data + start) : end - start;

    verdict want = expected_verdict(data + start, length);
    message_id verdict_text = want.code == 0    ? msg_correct
                              : want.code == -1 ? msg_invalid
                                                : msg_input_error;
    std::string expected =
        std::string(messages[msg_prompt].sjis) + want.trace + messages[verdict_text].sjis;
    if (out != expected)
        contract_broken("dialogue output", out, expected);
    return 0;
}
