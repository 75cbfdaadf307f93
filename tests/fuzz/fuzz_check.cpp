// Arbitrary bytes as the token: the trace line appears exactly for ten
// bytes, carries the weighted sum of the signed byte values, and the code
// agrees with the sum.
#include "check/isbn_check.h"
#include "oracle.h"

#include <cstdint>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string token(reinterpret_cast<const char *>(data), size);
    int code = 0;
    std::string trace = capture_stdout([&] { code = isbn_check(token.c_str()); });

    verdict want = expected_verdict(data, std::strlen(token.c_str()));
    if (trace != want.trace)
        contract_broken("trace line", trace, want.trace);
    if (code != want.code)
        contract_broken("result code", std::to_string(code), std::to_string(want.code));
    return 0;
}
