#include "resources/EpisodeOrder.h"

#include <algorithm>

namespace {
bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

int runEnd(const QString &text, int from, bool digits)
{
    while (from < text.size() && isDigit(text[from]) == digits)
        ++from;
    return from;
}
} // namespace

int EpisodeOrder::naturalCompare(const QString &a, const QString &b)
{
    int i = 0;
    int j = 0;
    while (i < a.size() && j < b.size()) {
        const bool digitsA = isDigit(a[i]);
        const bool digitsB = isDigit(b[j]);
        if (digitsA != digitsB)
            return digitsA ? -1 : 1; // a number sorts before a letter, as in plain order
        const int endA = runEnd(a, i, digitsA);
        const int endB = runEnd(b, j, digitsB);
        QStringView runA = QStringView(a).mid(i, endA - i);
        QStringView runB = QStringView(b).mid(j, endB - j);
        int order = 0;
        if (digitsA) {
            // By value: leading zeros dropped, then the longer number is the larger.
            while (runA.size() > 1 && runA.front() == QLatin1Char('0'))
                runA = runA.mid(1);
            while (runB.size() > 1 && runB.front() == QLatin1Char('0'))
                runB = runB.mid(1);
            order = runA.size() != runB.size() ? (runA.size() < runB.size() ? -1 : 1) : runA.compare(runB);
        } else {
            order = runA.compare(runB, Qt::CaseInsensitive);
        }
        if (order != 0)
            return order;
        i = endA;
        j = endB;
    }
    if (i < a.size() || j < b.size())
        return i < a.size() ? 1 : -1;
    return a.compare(b); // equal but for case or leading zeros: still one fixed order
}

QList<BTResourceFile> EpisodeOrder::sorted(QList<BTResourceFile> files)
{
    std::stable_sort(files.begin(), files.end(), [](const BTResourceFile &x, const BTResourceFile &y) {
        return naturalCompare(x.fileName, y.fileName) < 0;
    });
    return files;
}

bool EpisodeOrder::neighbour(const QList<BTResourceFile> &files, quint32 resourceIndex, int step, BTResourceFile *found)
{
    const QList<BTResourceFile> ordered = sorted(files);
    for (int i = 0; i < ordered.size(); ++i) {
        if (ordered[i].resourceIndex != resourceIndex)
            continue;
        const int at = i + step;
        if (at < 0 || at >= ordered.size())
            return false;
        *found = ordered[at];
        return true;
    }
    return false;
}
