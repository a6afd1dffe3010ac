// Deriving the resource hash of a torrent file (read the bytes, parse, SHA-1 of the info span),
// against libtorrent-rasterbar decoding the same bytes with bdecode and hashing its info section.
#include "HeapCounter.h"
#include "resources/protocol/BencodeReader.h"
#include "resources/protocol/ResourceInput.h"
#include "resources/protocol/Sha1.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <libtorrent/bdecode.hpp>
#include <libtorrent/hasher.hpp>
#include <libtorrent/hex.hpp>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

void appendString(QByteArray &out, const QByteArray &bytes)
{
    out += QByteArray::number(bytes.size());
    out += ':';
    out += bytes;
}

void appendInteger(QByteArray &out, qint64 value)
{
    out += 'i';
    out += QByteArray::number(value);
    out += 'e';
}

// A deterministic stand-in for random piece digests and file sizes.
quint64 nextRandom(quint64 &state)
{
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
}

// A torrent shaped like the real thing: announce list, creation data, and an info dictionary with
// one file or a "files" list of nested paths, piece length and piece digests.
QByteArray makeTorrent(int fileCount)
{
    quint64 state = 0x9e3779b97f4a7c15ULL + quint64(fileCount);
    QByteArray info("d");
    qint64 total = 0;
    if (fileCount == 1) {
        total = 4LL * 1024 * 1024 * 1024 + 12345;
        appendString(info, "length");
        appendInteger(info, total);
    } else {
        appendString(info, "files");
        info += 'l';
        for (int i = 0; i < fileCount; ++i) {
            const qint64 length = 100000 + qint64(nextRandom(state) % 3000000);
            total += length;
            info += 'd';
            appendString(info, "length");
            appendInteger(info, length);
            appendString(info, "path");
            info += 'l';
            appendString(info, QByteArray("Season ") + QByteArray::number(i / 1000 + 1));
            appendString(info, QByteArray("Episode ") + QByteArray::number(i).rightJustified(6, '0')
                                   + " - A Reasonably Long Episode Title.mkv");
            info += "ee";
        }
        info += 'e';
    }
    appendString(info, "name");
    appendString(info, "Generated Resource Pack");
    const qint64 pieceLength = 16 * 1024 * 1024;
    appendString(info, "piece length");
    appendInteger(info, pieceLength);
    QByteArray pieces;
    const qint64 pieceCount = (total + pieceLength - 1) / pieceLength;
    pieces.reserve(int(pieceCount * 20));
    for (qint64 i = 0; i < pieceCount * 20; i += 8) {
        const quint64 word = nextRandom(state);
        pieces.append(reinterpret_cast<const char *>(&word), int(std::min<qint64>(8, pieceCount * 20 - i)));
    }
    appendString(info, "pieces");
    appendString(info, pieces);
    info += 'e';

    QByteArray torrent("d");
    appendString(torrent, "announce");
    appendString(torrent, "http://127.0.0.1:6969/announce");
    appendString(torrent, "announce-list");
    torrent += "ll";
    appendString(torrent, "http://127.0.0.1:6969/announce");
    torrent += "el";
    appendString(torrent, "udp://127.0.0.1:6969");
    torrent += "ee";
    appendString(torrent, "comment");
    appendString(torrent, "generated for the benchmark");
    appendString(torrent, "creation date");
    appendInteger(torrent, 1700000000);
    appendString(torrent, "info");
    torrent += info;
    torrent += 'e';
    return torrent;
}

std::string libtorrentHash(const std::string &path)
{
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    std::vector<char> bytes(std::size_t(file.tellg()));
    file.seekg(0);
    if (!file.read(bytes.data(), std::streamsize(bytes.size())))
        return std::string();
    lt::error_code error;
    const lt::bdecode_node root = lt::bdecode(bytes, error);
    if (error || root.type() != lt::bdecode_node::dict_t)
        return std::string();
    const lt::bdecode_node info = root.dict_find_dict("info");
    if (!info)
        return std::string();
    return lt::aux::to_hex(lt::hasher(info.data_section()).final());
}

QString fullParseHash(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    BencodeReader reader;
    if (!reader.parse(file.readAll()))
        return QString();
    return QString::fromLatin1(reader.infoDigest().toHex());
}

double medianMs(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

// CPU time of this thread: the machine is shared, and wall time would count other processes.
double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

double timeOnce(const std::function<void()> &work)
{
    const double start = threadCpuMs();
    work();
    return threadCpuMs() - start;
}

// Heap bytes above what was live before, at the high-water mark of one run.
double peakMegabytes(const std::function<void()> &work)
{
    const std::size_t before = HeapCounter::live();
    HeapCounter::resetPeak();
    work();
    return double(HeapCounter::peak() - before) / (1024.0 * 1024.0);
}

} // namespace

int main()
{
    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "no temporary directory\n");
        return 1;
    }
    std::printf("# times: thread CPU time, median of repeated runs; peaks: heap bytes above the start "
                "(file bytes included); full_tree = parse() building every value; "
                "portable_sha1 = the whole hash path on QCryptographicHash\n");
    bool allAgree = true;
    for (int files : {1, 10000, 100000}) {
        const QString path = dir.filePath(QStringLiteral("bench-%1.torrent").arg(files));
        {
            QFile out(path);
            if (!out.open(QIODevice::WriteOnly) || out.write(makeTorrent(files)) < 0) {
                std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
                return 1;
            }
        }
        const std::string stdPath = path.toStdString();
        const double megabytes = double(QFile(path).size()) / (1024.0 * 1024.0);

        const QString ours = resourceHashFromInput(path);
        const std::string theirs = libtorrentHash(stdPath);
        if (ours.isEmpty() || ours.toStdString() != theirs || fullParseHash(path) != ours) {
            std::fprintf(stderr, "files=%d hashes differ: %s %s\n", files, qPrintable(ours), theirs.c_str());
            allAgree = false;
        }

        // Interleaved, so that both sides see the same machine state.
        const int rounds = files >= 100000 ? 21 : 41;
        std::vector<double> pelorin, libtorrent, fullParse;
        QString sink;
        std::string stdSink;
        for (int round = 0; round < rounds; ++round) {
            pelorin.push_back(timeOnce([&] { sink = resourceHashFromInput(path); }));
            libtorrent.push_back(timeOnce([&] { stdSink = libtorrentHash(stdPath); }));
            fullParse.push_back(timeOnce([&] { sink = fullParseHash(path); }));
        }
        // The same without the SHA instructions, as on processors that lack them.
        std::vector<double> portable;
        Sha1::setPortableOnly(true);
        for (int round = 0; round < rounds; ++round)
            portable.push_back(timeOnce([&] { sink = resourceHashFromInput(path); }));
        Sha1::setPortableOnly(false);

        const double pelorinMs = medianMs(pelorin);
        const double libtorrentMs = medianMs(libtorrent);

        // Where our time goes: reading the file, the value-free pass, SHA-1 of the info span.
        std::vector<double> readMs, scanMs, shaMs;
        for (int round = 0; round < rounds; ++round) {
            QByteArray bytes;
            readMs.push_back(timeOnce([&] {
                QFile file(path);
                file.open(QIODevice::ReadOnly);
                bytes = file.read(file.size() + 1);
            }));
            BencodeReader reader;
            scanMs.push_back(timeOnce([&] { reader.scan(bytes); }));
            shaMs.push_back(timeOnce([&] { sink = QString::fromLatin1(reader.infoDigest().toHex()); }));
        }

        const double pelorinPeak = peakMegabytes([&] { sink = resourceHashFromInput(path); });
        const double fullPeak = peakMegabytes([&] { sink = fullParseHash(path); });
        const double libtorrentPeak = peakMegabytes([&] { stdSink = libtorrentHash(stdPath); });

        std::printf("files=%d size_mb=%.2f pelorin_ms=%.3f libtorrent_ms=%.3f ratio=%.3f "
                    "pelorin_peak_mb=%.2f (%.2fx size) libtorrent_peak_mb=%.2f (%.2fx size) "
                    "full_tree_ms=%.3f full_tree_peak_mb=%.2f (%.2fx size) "
                    "read_ms=%.3f scan_ms=%.3f sha1_ms=%.3f portable_sha1_ms=%.3f (ratio %.3f)\n",
                    files, megabytes, pelorinMs, libtorrentMs, pelorinMs / libtorrentMs, pelorinPeak,
                    pelorinPeak / megabytes, libtorrentPeak, libtorrentPeak / megabytes, medianMs(fullParse),
                    fullPeak, fullPeak / megabytes, medianMs(readMs), medianMs(scanMs), medianMs(shaMs),
                    medianMs(portable), medianMs(portable) / libtorrentMs);
        std::fflush(stdout);
    }
    return allAgree ? 0 : 1;
}
