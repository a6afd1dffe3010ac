#pragma once

#include <QList>
#include <QObject>
#include <QString>

class QTimer;

// Where each file was left, per resource hash and file index, kept in a file of its own
// (PlayPosition.dat, an indented JSON array, newest first) beside the play records. Changes are
// written at most every SaveDelayMs, and at once by save(); the list never grows past Limit.
//
// Every entry carries the time it was written (Unix seconds) and whether the account has yet to
// hear of it (pending). A forgotten position stays as an entry at 0 while it is pending or newer
// than what the account may hold, so that it overrides an older position elsewhere.
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

    struct Entry
    {
        QString hash;
        quint32 index = 0;
        int positionMs = 0; // 0: nothing to resume
        int durationMs = 0;
        qint64 time = 0;    // when written, Unix seconds; 0 in files from before it was kept
        bool pending = false;
    };

    explicit PlayPositionStore(const QString &fileName = QStringLiteral("PlayPosition.dat"),
                               QObject *parent = nullptr);
    ~PlayPositionStore() override;

    // Replaces the list with the file's; entries that do not read as positions are dropped.
    bool load();
    // The number of kept positions (forgotten ones not counted).
    int size() const;

    // The kept position of that file, or 0.
    int resumePosition(const QString &resourceHash, quint32 resourceIndex) const;
    // Keeps the position, or forgets the file's position when it is too early or finished.
    void record(const QString &resourceHash, quint32 resourceIndex, int positionMs, int durationMs);
    void forget(const QString &resourceHash, quint32 resourceIndex);

    // While on, every change is marked pending for the account (off: local only).
    void setMarkPending(bool on) { m_markPending = on; }
    QList<Entry> pendingEntries() const;
    // The account has the entry as written at that time; a newer change stays pending.
    void clearPending(const QString &resourceHash, quint32 resourceIndex, qint64 time);
    // Takes the account's entry when it is newer than the local one (or there is none); true then.
    bool merge(const Entry &remote);
    // Entries with a position, newest first.
    QList<Entry> positions() const;

    // Writes pending changes now (atomically); true when nothing was pending or the write succeeded.
    bool save();
    static bool countsAsFinished(int positionMs, int durationMs);
    // The clock the entries are stamped with; a test may set it (0: the real one).
    void setClock(qint64 fixedSeconds) { m_fixedClock = fixedSeconds; }

signals:
    // A file's position was recorded, forgotten or taken from the account.
    void changed(const QString &resourceHash, quint32 resourceIndex);
    // The file was written.
    void saved();

private:
    int find(const QString &hash, quint32 index) const;
    void put(const Entry &entry);
    void changedLocally(const QString &hash, quint32 index);
    void markDirty();
    qint64 now() const;
    // The time a change of the entry at that place is stamped with.
    qint64 writeTime(int at) const;

    QString m_fileName;
    QList<Entry> m_entries;
    QTimer *m_saveTimer;
    bool m_dirty = false;
    bool m_markPending = false;
    qint64 m_fixedClock = 0;
};
