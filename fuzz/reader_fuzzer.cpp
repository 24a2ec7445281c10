// Fuzz target over the reader: reads every top-level expression of the input and prints
// each one both ways. A syntax error or an unprintable value is a normal ending; a crash,
// a sanitizer report or a reader that stops advancing is a finding. (Printed strings keep
// their quotes unescaped, so printing does not give text that reads back as the same value.)
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>

#include "parse/parse.h"
#include "prelude/prelude.h"
#include "value/printer.h"

namespace velune {
namespace {

int null_output() {
    static const int fd = ::open("/dev/null", O_WRONLY);
    return fd;
}

[[noreturn]] void finding(const std::string& what) {
    std::fprintf(stderr, "%s\n", what.c_str());
    std::abort();
}

}  // namespace
}  // namespace velune

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace velune;
    const std::string text(reinterpret_cast<const char*>(data), size);
    Runtime rt(null_output());
    prelude::establish(rt, prelude::mode::skip);
    std::int64_t position = 0;
    try {
        for (;;) {
            const std::int64_t start = skip_blanks(text, position);
            const auto next = next_expr(rt, text, start);
            if (!next) break;
            if (next->position <= start) finding("the reader did not advance");
            position = next->position;
            describe(rt, next->expression);
            try {
                to_string_text(rt, next->expression);
                represent_text(rt, next->expression);
            } catch (const HostFailure&) {
                // no printed form (a structure nested too deeply)
            }
        }
    } catch (const SyntaxError&) {
    }
    return 0;
}
