// Feeds arbitrary bytes to the HTTP answer parser, once whole and once in pieces whose size the
// first byte chooses: both must end alike (state, status, body), and no body may be longer than
// the bytes it came in.
#include "resources/HttpResponseParser.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

struct Result
{
    HttpResponseParser::State state;
    int status;
    QByteArray body;
};

Result parse(const char *data, qint64 size, qint64 piece)
{
    QByteArray body;
    HttpResponseParser parser([&](const char *bytes, qint64 count) {
        body.append(bytes, int(count));
        return true;
    });
    for (qint64 at = 0; at < size; at += piece)
        parser.feed(data + at, qMin(piece, size - at));
    parser.finish();
    return {parser.state(), parser.status(), body};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const qint64 piece = data[0] % 16 + 1;
    const char *answer = reinterpret_cast<const char *>(data + 1);
    const qint64 length = qint64(size - 1);
    const Result whole = parse(answer, length, length);
    const Result pieces = parse(answer, length, piece);
    if (whole.state != pieces.state || whole.status != pieces.status || whole.body != pieces.body) {
        std::fprintf(stderr, "http fuzz check failed: the answer reads differently in pieces of %lld\n",
                     static_cast<long long>(piece));
        std::abort();
    }
    if (whole.body.size() > length) {
        std::fprintf(stderr, "http fuzz check failed: a body longer than its answer\n");
        std::abort();
    }
    return 0;
}
