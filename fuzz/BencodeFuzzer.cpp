// Feeds arbitrary bytes to the bencode reader: the full parse and the value-free pass must agree
// on outcome, message and info span, and neither may read outside the input.
#include "resources/protocol/BencodeReader.h"
#include "resources/protocol/ResourceInput.h"
#include "resources/protocol/Sha1.h"

#include <QCryptographicHash>
#include <QVariant>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void fail(const char *what)
{
    std::fprintf(stderr, "bencode fuzz check failed: %s\n", what);
    std::abort();
}

// Walks every value, through the generic container interfaces where it can.
qint64 walk(const QVariant &value, int depth)
{
    if (depth > BencodeReader::maxDepth)
        fail("tree deeper than the nesting limit");
    if (value.userType() == BencodeReader::dictionaryMetaTypeId()) {
        qint64 total = 0;
        const QAssociativeIterable entries = value.value<QAssociativeIterable>();
        for (auto it = entries.begin(); it != entries.end(); ++it)
            total += it.key().toByteArray().size() + walk(it.value(), depth + 1);
        return total;
    }
    if (value.userType() == QMetaType::QVariantList) {
        qint64 total = 0;
        for (const QVariant &element : value.toList())
            total += walk(element, depth + 1);
        return total;
    }
    if (value.userType() == QMetaType::QByteArray)
        return value.toByteArray().size();
    if (value.userType() == QMetaType::LongLong)
        return 1;
    fail("unexpected value type");
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > size_t(1) << 24)
        return 0;
    // A copy in a buffer of its own, so ASan sees any read past the end.
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));

    BencodeReader full;
    const bool ok = full.parse(bytes);
    BencodeReader fast;
    const bool fastOk = fast.scan(bytes);

    if (ok != fastOk)
        fail("parse and scan differ in outcome");
    if (full.errorString() != fast.errorString())
        fail("parse and scan differ in message");
    if (full.infoOffset() != fast.infoOffset() || full.infoLength() != fast.infoLength())
        fail("parse and scan differ in info span");
    if (!fast.root().isEmpty())
        fail("scan built values");
    if (!ok && !full.root().isEmpty())
        fail("failed parse left values");
    if (bytes.isEmpty() != (full.errorString() == QLatin1String("No content")))
        fail("empty input and its message disagree");

    const QByteArray info = full.infoBytes();
    if (info != fast.infoBytes())
        fail("info bytes differ");
    if (info.size() > bytes.size())
        fail("info span larger than the input");
    if (!info.isEmpty() && bytes.mid(full.infoOffset(), info.size()) != info)
        fail("info bytes are not the input's");
    if (full.infoLength() < 0)
        fail("negative info length");

    const qint64 total = walk(QVariant::fromValue(full.root()), 0);
    // Every value byte and integer stands on bytes of its own in the input.
    if (total > bytes.size())
        fail("values out of proportion to the input");

    const QString hash = resourceHashFromTorrentBytes(bytes);
    if (ok != !hash.isEmpty())
        fail("hash and parse disagree");
    if (ok && hash != QString::fromLatin1(QCryptographicHash::hash(info, QCryptographicHash::Sha1).toHex()))
        fail("hash is not the SHA-1 of the info bytes");
    if (Sha1::hash(bytes) != QCryptographicHash::hash(bytes, QCryptographicHash::Sha1))
        fail("SHA-1 differs from QCryptographicHash");
    return 0;
}
