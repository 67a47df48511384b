// Arbitrary bytes, cut into chunks, through the reply decoder and the form's
// parsers. Each chunk lives in a heap block of its exact size, so that any
// read past its end is an AddressSanitizer report, not a read into
// QByteArray's spare capacity. Broken invariants abort.
#include "config/frames.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

using namespace Frames;

namespace {

void check(bool condition, const char *what)
{
    if (!condition) {
        fprintf(stderr, "invariant broken: %s\n", what);
        abort();
    }
}

void decodeChunk(const QByteArray &chunk)
{
    const std::optional<Parameters> p = decodeParameterBlock(chunk);
    check(p.has_value() == (chunk.size() >= PARAMETER_BLOCK_USED_LENGTH),
          "decoded iff long enough");
    if (!p)
        return;
    check(p->model.size() == 4 && p->version.size() == 7, "model and version widths");
    check(p->mac.size() == 16 && p->mac == p->mac.toUpper(), "MAC digits");
    check(p->settings.groupId >= 0 && p->settings.groupId <= MAX_GROUP_ID, "group range");
    check(quint32(p->settings.frequencyKHz) <= MAX_FREQUENCY_KHZ, "frequency range");
    for (Field field : LIST_FIELDS) {
        const int code = p->settings.value(field);
        check(code >= -128 && code <= 127, "signed code");
        check(itemText(field, code).isEmpty() == (code < 0 || code >= itemTexts(field).size()),
              "item text only for a listed code");
    }

    // Writing back what was read: refused, or the same settings again.
    const QByteArray frame = encodeWriteRequest(p->settings);
    check(frame.isEmpty() == !validate(p->settings).isEmpty(), "encode refuses iff invalid");
    if (frame.isEmpty())
        return;
    check(frame.size() == WRITE_REQUEST_LENGTH && frame.startsWith(WRITE_REQUEST_HEADER),
          "frame layout");
    QByteArray reply = chunk.left(PARAMETER_BLOCK_USED_LENGTH);
    reply[20] = frame[10];
    reply.replace(21, 3, frame.mid(7, 3));
    reply.replace(24, 5, frame.mid(11, 5));
    const std::optional<Parameters> again = decodeParameterBlock(reply);
    check(again && again->settings == p->settings, "write request round trip");
    check(parseFrequency(frequencyText(p->settings.frequencyKHz)) ==
              quint32(p->settings.frequencyKHz),
          "shown frequency parses back");
}

void parseChunk(const QByteArray &chunk)
{
    for (const QString &text : {QString::fromLatin1(chunk), QString::fromUtf8(chunk)}) {
        const std::optional<quint32> kHz = parseFrequency(text);
        if (kHz) {
            check(*kHz >= 1 && *kHz <= MAX_FREQUENCY_KHZ, "parsed frequency range");
            check(parseFrequency(frequencyText(*kHz)) == kHz, "frequency text round trip");
        }
        const std::optional<int> group = parseGroupId(text);
        check(!group || (*group >= 0 && *group <= MAX_GROUP_ID), "group range");
        for (Field field : LIST_FIELDS) {
            const int code = itemIndex(field, text);
            check(code == -1 || !itemText(field, code).isEmpty(), "found item exists");
        }
    }
}

// The form's path as the window takes it, once per input: it builds every
// refusal message, which costs more than the rest.
void buildChunk(const QByteArray &chunk)
{
    FormInput input;
    input.texts.fill(QString::fromLatin1(chunk));
    // Codes on both sides of the items, as a form never holds them.
    int i = 0;
    for (Field field : LIST_FIELDS) {
        const int byte = i < chunk.size() ? int(qint8(chunk[i])) : 0;
        input.codes[field] = byte % (itemTexts(field).size() + 2);
        ++i;
    }
    const WriteRequest request = buildWriteRequest(input);
    check(request.isValid() == (request.frame.size() == WRITE_REQUEST_LENGTH), "frame iff valid");
    check(request.isValid() || !request.messages().isEmpty(), "refusal says why");
}

void feed(const uint8_t *data, size_t size, bool asForm = false)
{
    // An exact-size copy: fromRawData does not own or pad it.
    std::unique_ptr<char[]> block(new char[size ? size : 1]);
    if (size)
        memcpy(block.get(), data, size);
    const QByteArray chunk = QByteArray::fromRawData(block.get(), int(size));
    decodeChunk(chunk);
    parseChunk(chunk);
    if (asForm)
        buildChunk(chunk);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte says how many of the next bytes are chunk lengths;
    // the rest is cut into chunks of those lengths in turn.
    const size_t lengthCount = std::min<size_t>(data[0] % 8 + 1, size - 1);
    const uint8_t *lengths = data + 1;
    size_t pos = 1 + lengthCount;
    for (size_t i = 0; pos < size; ++i) {
        const size_t want = lengthCount ? lengths[i % lengthCount] % 48 : size;
        const size_t take = std::min(want, size - pos);
        feed(data + pos, take);
        pos += take ? take : 1; // an empty chunk still moves on
    }
    feed(data, size, true); // and the whole input as one reply
    return 0;
}
