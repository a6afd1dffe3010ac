#pragma once

#include <QList>
#include <QObject>
#include <QString>

class QTimer;

// Where each file was left, per resource hash and file index, kept in a file of its own
// (PlayPosition.dat, an indented JSON array, newest first) beside the play records. Changes are
// written at most every SaveDelayMs, and at once by save(); the list never grows past Limit.
class PlayPositionStore : public QObject
{
    Q_OBJECT

public:
    static constexpr int Limit = 200;
    static constexpr int SaveDelayMs = 5000;
    // A position this early is not worth resuming: the file starts from the beginning.
    static constexpr int MinimumMs = 5000;
    // Within the last FinishedTailMs or the last FinishedPercent of the file counts as finished.
    static constexpr int FinishedTailMs = 30000;
    static constexpr int FinishedPercent = 5;

    explicit PlayPositionStore(const QString &fileName = QStringLiteral("PlayPosition.dat"),
                               QObject *parent = nullptr);
    ~PlayPositionStore() override;

    // Replaces the list with the file's; entries that do not read as positions are dropped.
    bool load();
    int size() const { return m_entries.size(); }

    // The kept position of that file, or 0.
    int resumePosition(const QString &resourceHash, quint32 resourceIndex) const;
    // Keeps the position, or forgets the file's position when it is too early or finished.
    void record(const QString &resourceHash, quint32 resourceIndex, int positionMs, int durationMs);
    void forget(const QString &resourceHash, quint32 resourceIndex);

    // Writes pending changes now (atomically); true when nothing was pending or the write succeeded.
    bool save();
    static bool countsAsFinished(int positionMs, int durationMs);

private:
    struct Entry
    {
        QString hash;
        quint32 index = 0;
        int positionMs = 0;
        int durationMs = 0;
    };
    int find(const QString &hash, quint32 index) const;
    void changed();

    QString m_fileName;
    QList<Entry> m_entries;
    QTimer *m_saveTimer;
    bool m_dirty = false;
};
