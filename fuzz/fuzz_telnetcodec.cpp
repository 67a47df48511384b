// Arbitrary bytes from a far end, cut into chunks, through the telnet
// decoder; and the same bytes as the module's data, escaped and decoded
// again. Broken invariants abort.
#include "config/telnetcodec.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void check(bool condition, const char *what)
{
    if (!condition) {
        fprintf(stderr, "invariant broken: %s\n", what);
        abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));

    // The first byte says where the chunks are cut.
    TelnetCodec codec;
    codec.greeting();
    const int step = size > 0 ? 1 + data[0] % 16 : 1;
    qsizetype decoded = 0;
    for (int at = 0; at < bytes.size(); at += step) {
        decoded += codec.decode(bytes.mid(at, step)).size();
        const QByteArray answers = codec.takeAnswers();
        // Each answer is IAC, a verb and an option.
        check(answers.size() % 3 == 0, "whole answers");
        for (int i = 0; i < answers.size(); i += 3)
            check(quint8(answers[i]) == TelnetCodec::IAC && quint8(answers[i + 1]) >= 251,
                  "an answer is a negotiation");
    }
    check(decoded <= bytes.size(), "no more data than bytes");

    TelnetCodec fresh;
    check(fresh.decode(TelnetCodec::escape(bytes)) == bytes, "escaped data comes back unchanged");
    check(fresh.takeAnswers().isEmpty(), "data asks for no answer");
    return 0;
}
