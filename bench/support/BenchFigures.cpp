#include "BenchFigures.h"

#include <QFile>

#include <algorithm>
#include <ctime>
#include <vector>

Figures Figures::of(std::vector<double> values)
{
    Figures figures;
    if (values.empty())
        return figures;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    figures.median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
    figures.min = values.front();
    figures.max = values.back();
    figures.count = n;
    return figures;
}

QString Figures::text(const char *unit, int decimals) const
{
    const QString u = QString::fromUtf8(unit);
    return QStringLiteral("median %1 %4 (min %2, max %3, n=%5)")
        .arg(median, 0, 'f', decimals)
        .arg(min, 0, 'f', decimals)
        .arg(max, 0, 'f', decimals)
        .arg(u)
        .arg(count);
}

qint64 monotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

namespace {
qint64 statusField(qint64 pid, const QByteArray &name)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    // Read in one go: the file is generated on read and lines may not be delivered separately.
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith(name + ':'))
            return line.mid(name.size() + 1).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}
} // namespace

qint64 peakResidentKiB(qint64 pid)
{
    return statusField(pid, QByteArrayLiteral("VmHWM"));
}

qint64 residentKiB(qint64 pid)
{
    return statusField(pid, QByteArrayLiteral("VmRSS"));
}

bool writeRandomFile(const QString &path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    std::vector<quint64> block(512 * 1024);
    quint64 state = 0x9E3779B97F4A7C15ULL;
    for (qint64 written = 0; written < size;) {
        for (quint64 &word : block) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            word = state;
        }
        const qint64 bytes = qMin(size - written, qint64(block.size() * sizeof(quint64)));
        if (file.write(reinterpret_cast<const char *>(block.data()), bytes) != bytes)
            return false;
        written += bytes;
    }
    return file.flush();
}
