#pragma once

#include <QString>

#include <vector>

// Median, minimum and maximum of repeated measurements.
struct Figures {
    double median = 0;
    double min = 0;
    double max = 0;
    size_t count = 0;

    static Figures of(std::vector<double> values);
    // "median 12.3 ms (min 11.0, max 15.2, n=10)"
    QString text(const char *unit, int decimals = 1) const;
};

// Monotonic clock in nanoseconds, comparable between processes of the machine.
qint64 monotonicNs();

// Peak and current resident memory of a process in KiB (from /proc), 0 when unknown.
qint64 peakResidentKiB(qint64 pid);
qint64 residentKiB(qint64 pid);

// Writes size pseudo-random bytes (neither compressible nor sparse) to path; false on failure.
bool writeRandomFile(const QString &path, qint64 size);
