#include "TestFiles.h"
#include "resources/PlayRecordStore.h"

#include <QtTest>

#include <csignal>
#include <sys/resource.h>

namespace {
BTResourceFile file(int n, quint32 index = 0)
{
    BTResourceFile f;
    f.resourceHash = QStringLiteral("%1").arg(n, 40, 10, QLatin1Char('a'));
    f.resourceIndex = index;
    f.fileHash = QStringLiteral("fh%1").arg(n);
    f.fileName = QStringLiteral("影片 %1.mp4").arg(n);
    return f;
}
} // namespace

class TestPlayRecordStore : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void addKeepsNewestFirstWithoutDuplicates();
    void limitTrimsOnlyAtExactlyTheLimit();
    void deleteAndClear();
    void loadingToleratesBadContent();
    void aFailedSaveKeepsTheOldFile();
    void randomRowDependsOnTheSecond();

private:
    QString path() const { return m_dir->filePath(QStringLiteral("PlayRecord.dat")); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestPlayRecordStore::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestPlayRecordStore::addKeepsNewestFirstWithoutDuplicates()
{
    PlayRecordStore store(path());
    QVERIFY(store.add(file(1, 0)));
    QVERIFY(store.add(file(1, 1))); // another file of the same resource
    QVERIFY(store.add(file(2)));
    QVERIFY(!store.add(file(1, 0))); // opened again: stays in its old place
    QCOMPARE(store.size(), 3);
    QCOMPARE(store.at(0).resourceHash, file(2).resourceHash);
    QCOMPARE(store.at(2).resourceIndex, 0u);

    // The file is the indented JSON of the list, members in alphabetical order.
    const QByteArray bytes = readFile(path());
    QCOMPARE(bytes, store.serialized());
    QVERIFY(bytes.startsWith("[\n    {\n        \"file_hash\": \"fh2\",\n        \"file_name\": \"影片 2.mp4\",\n"
                             "        \"resource_hash\": \""));
    PlayRecordStore again(path());
    QVERIFY(again.load());
    QCOMPARE(again.serialized(), bytes);
}

void TestPlayRecordStore::limitTrimsOnlyAtExactlyTheLimit()
{
    PlayRecordStore store(path());
    for (int n = 1; n <= 100; ++n)
        store.add(file(n));
    store.add(file(101));
    QCOMPARE(store.size(), 100);
    QCOMPARE(store.indexOf(file(1).resourceHash, 0), -1); // the oldest went

    // A file holding more loads whole, and adding trims nothing.
    QJsonArray many;
    for (int n = 0; n < 105; ++n)
        many.append(QJsonObject{{QStringLiteral("resource_hash"), QStringLiteral("h%1").arg(n)}});
    QVERIFY(writeFile(path(), QJsonDocument(many).toJson()));
    PlayRecordStore big(path());
    QVERIFY(big.load());
    big.add(file(1));
    QCOMPARE(big.size(), 106);
}

void TestPlayRecordStore::deleteAndClear()
{
    PlayRecordStore store(path());
    store.add(file(1));
    store.add(file(2));
    QVERIFY(!store.remove(file(3).resourceHash, 0));
    QVERIFY(store.remove(file(1).resourceHash, 0));
    QVERIFY(store.remove(file(2).resourceHash, 0));
    QVERIFY(!QFile::exists(path())); // the last record takes the file with it

    // A clear writes the empty list; new records save again.
    store.add(file(4));
    QVERIFY(store.clear());
    QCOMPARE(readFile(path()).simplified(), QByteArray("[ ]"));
    store.add(file(5));
    QVERIFY(store.load() && store.size() == 1);
}

void TestPlayRecordStore::loadingToleratesBadContent()
{
    // No file (the dialog's test covers a file that is not JSON).
    PlayRecordStore store(path());
    QVERIFY(!store.load());
    QVERIFY(writeFile(path(), R"([{"resource_hash":"abc","file_name":"x"},
                      {"resource_hash":7,"resource_index":"two","file_hash":[1],"file_name":{"a":1}},
                      42, "text", null])"));
    QVERIFY(store.load());
    QCOMPARE(store.size(), 5);
    QCOMPARE(store.at(0).fileName, QStringLiteral("x"));
    QCOMPARE(store.at(1).resourceIndex, 0u); // wrong types read as empty
    QVERIFY(store.at(1).fileName.isEmpty());
    QVERIFY(store.at(3).resourceHash.isEmpty());

    // What does not load (not JSON, or not a list) is set aside before the first write, never
    // overwritten; a second such file goes beside the first.
    for (const QByteArray &bad : {QByteArray("garbage"), QByteArray(R"({"resource_hash":"abc"})")}) {
        QVERIFY(writeFile(path(), bad));
        QVERIFY(!store.load());
        QCOMPARE(store.size(), 0);
        QCOMPARE(readFile(path()), bad); // loading alone changes nothing
        if (bad.startsWith('g'))
            QVERIFY(store.add(file(1)));
        else
            QVERIFY(store.clear());
    }
    QCOMPARE(readFile(path() + QStringLiteral(".bad")), QByteArray("garbage"));
    QCOMPARE(readFile(path() + QStringLiteral(".bad.2")), QByteArray(R"({"resource_hash":"abc"})"));
    QVERIFY(store.load() && store.size() == 0);
}

void TestPlayRecordStore::aFailedSaveKeepsTheOldFile()
{
    PlayRecordStore store(path());
    store.add(file(1));
    const QByteArray before = readFile(path());

    // A disk that fills up mid-write: files may not grow past a little more than the old one.
    // Root is bound by this limit too, unlike by permissions.
    struct rlimit saved;
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = rlim_t(before.size() + 20);
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved2 = (store.add(file(2)), store.save());
    setrlimit(RLIMIT_FSIZE, &saved);

    QVERIFY(!saved2);
    QCOMPARE(readFile(path()), before);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{QStringLiteral("PlayRecord.dat")});
}

void TestPlayRecordStore::randomRowDependsOnTheSecond()
{
    QCOMPARE(PlayRecordStore::randomRow(0, QTime(13, 7, 42)), -1);
    QSet<int> rows;
    for (int s = 0; s < 50; ++s)
        rows.insert(PlayRecordStore::randomRow(7, QTime(0, 0).addSecs(s)));
    QVERIFY(rows.size() > 3 && *std::min_element(rows.begin(), rows.end()) >= 0
            && *std::max_element(rows.begin(), rows.end()) < 7);
}

QTEST_GUILESS_MAIN(TestPlayRecordStore)
#include "tst_playrecordstore.moc"
