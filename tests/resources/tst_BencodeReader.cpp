#include "resources/protocol/BencodeReader.h"

#include <QtTest>

#include <climits>

class BencodeReaderTest : public QObject
{
    Q_OBJECT

private slots:
    void readsByteExactCases_data();
    void readsByteExactCases();
    void buildsValues();
    void readsRealTorrent();
    void survivesHostileLengths();
    void stopsAtNestingLimit();
};

void BencodeReaderTest::readsByteExactCases_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("error");
    QTest::addColumn<int>("infoOffset");
    QTest::addColumn<int>("infoLength");

    QTest::newRow("info dictionary") << QByteArray("d4:infod4:name1:aee") << true << QString() << 7 << 11;
    QTest::newRow("lone d") << QByteArray("d") << true << QString() << 0 << 0;
    QTest::newRow("empty dictionary") << QByteArray("de") << true << QString() << 0 << 0;
    QTest::newRow("empty input") << QByteArray() << false << QStringLiteral("No content") << 0 << 0;
    QTest::newRow("list at top") << QByteArray("le") << false << QString() << 0 << 0;
    QTest::newRow("integer at top") << QByteArray("i1e") << false << QString() << 0 << 0;
    QTest::newRow("bad integer byte")
        << QByteArray("d3:keyi12x") << false << QStringLiteral("error at index 9") << 0 << 0;
    QTest::newRow("integer without digits")
        << QByteArray("d1:ai-e") << false << QStringLiteral("error at index 6") << 0 << 0;
    QTest::newRow("second minus")
        << QByteArray("d1:ai--1e") << false << QStringLiteral("error at index 6") << 0 << 0;
    QTest::newRow("length without colon")
        << QByteArray("d1:a3xabce") << false << QStringLiteral("error at index 5") << 0 << 0;
    QTest::newRow("list running out")
        << QByteArray("d1:al") << false << QStringLiteral("error at index 5") << 0 << 0;
    // A key that does not read ends the dictionary successfully; its message stays behind.
    QTest::newRow("bad key ends dictionary")
        << QByteArray("d3xe") << true << QStringLiteral("Unexpected character at pos 2: x") << 0 << 0;
    QTest::newRow("non-key ends dictionary") << QByteArray("d1:ai1ei2ee") << true << QString() << 0 << 0;
    // The key reads truncated, pos lands past the end, and no value can start there.
    QTest::newRow("key past the end")
        << QByteArray("d10:abc") << false << QStringLiteral("error at index 14") << 0 << 0;
    QTest::newRow("string past the end") << QByteArray("d1:a5:abc") << true << QString() << 0 << 0;
    QTest::newRow("length digits reach the end") << QByteArray("d1:a12") << true << QString() << 0 << 0;
    QTest::newRow("string past the end in list") << QByteArray("d1:al1:x9:abce") << true << QString() << 0 << 0;
    QTest::newRow("integer reaching the end") << QByteArray("d1:ai42") << true << QString() << 0 << 0;
    // The span of the last "info" read wins, at whatever depth.
    QTest::newRow("nested info key")
        << QByteArray("d4:infod1:xi1ee1:yd4:info3:abcee") << true << QString() << 25 << 5;
    QTest::newRow("info running past the end") << QByteArray("d4:info5:ab") << true << QString() << 7 << 7;
    QTest::newRow("info key without value")
        << QByteArray("d4:info") << false << QStringLiteral("error at index 7") << 7 << 0;
    QTest::newRow("info inside list")
        << QByteArray("d1:ald4:infoi7eeee") << true << QString() << 12 << 3;
    QTest::newRow("no info") << QByteArray("d4:name1:ae") << true << QString() << 0 << 0;
}

void BencodeReaderTest::readsByteExactCases()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, ok);
    QFETCH(QString, error);
    QFETCH(int, infoOffset);
    QFETCH(int, infoLength);

    BencodeReader full;
    QCOMPARE(full.parse(bytes), ok);
    QCOMPARE(full.errorString(), error);
    QCOMPARE(full.infoOffset(), infoOffset);
    QCOMPARE(full.infoLength(), infoLength);
    const int available = qMax(0, qMin(infoLength, bytes.size() - infoOffset));
    QCOMPARE(full.infoBytes(), bytes.mid(infoOffset, available));

    // The value-free pass must agree in every observable respect but the values.
    BencodeReader fast;
    QCOMPARE(fast.scan(bytes), ok);
    QCOMPARE(fast.errorString(), error);
    QCOMPARE(fast.infoOffset(), infoOffset);
    QCOMPARE(fast.infoLength(), infoLength);
    QCOMPARE(fast.infoBytes(), full.infoBytes());
    QVERIFY(fast.root().isEmpty());
}

void BencodeReaderTest::buildsValues()
{
    BencodeReader reader;
    QVERIFY(reader.parse("d4:infod4:name1:aee"));
    QCOMPARE(reader.infoBytes(), QByteArray("d4:name1:ae"));

    // Nested lists are flattened into their parent, at any depth.
    QVERIFY(reader.parse("d1:ali1eli2ei3eeee"));
    QCOMPARE(reader.root().value("a").toList(), (QVariantList{1LL, 2LL, 3LL}));
    QVERIFY(reader.parse("d1:alli1elli2eeei3eee"));
    QCOMPARE(reader.root().value("a").toList(), (QVariantList{1LL, 2LL, 3LL}));
    // A failed integer leaves pos on the 'l', where a list then reads.
    QVERIFY(reader.parse("d1:ai-le"));
    QCOMPARE(reader.root().value("a").toList(), QVariantList());

    // Integers: 64-bit, leading zeros and negative zero accepted, overflow wraps.
    QVERIFY(reader.parse("d1:ai007e1:bi-0e1:ci18446744073709551617e1:di9223372036854775808e"
                         "1:ei-9223372036854775808e1:fi-42ee"));
    const Dictionary &numbers = reader.root();
    QCOMPARE(numbers.value("a").userType(), int(QMetaType::LongLong));
    QCOMPARE(numbers.value("a").toLongLong(), 7LL);
    QCOMPARE(numbers.value("b").toLongLong(), 0LL);
    QCOMPARE(numbers.value("c").toLongLong(), 1LL);
    QCOMPARE(numbers.value("d").toLongLong(), LLONG_MIN);
    QCOMPARE(numbers.value("e").toLongLong(), LLONG_MIN);
    QCOMPARE(numbers.value("f").toLongLong(), -42LL);

    // Byte strings stay bytes; a string running past the end keeps what there is.
    QVERIFY(reader.parse(QByteArray("d1:a3:\0\xff" "e1:b5:abc", 17)));
    QCOMPARE(reader.root().value("a").userType(), int(QMetaType::QByteArray));
    QCOMPARE(reader.root().value("a").toByteArray(), QByteArray("\0\xff" "e", 3));
    QCOMPARE(reader.root().value("b").toByteArray(), QByteArray("abc"));
    QVERIFY(reader.parse("d1:a12"));
    QCOMPARE(reader.root().value("a").toByteArray(), QByteArray());

    // Keys in qstrcmp order; a repeated key keeps its later value; a non-key ends the dictionary.
    QVERIFY(reader.parse("d1:bi1e1:Bi2e1:ai3e1:bi4ee"));
    QCOMPARE(reader.root().keys(), (QList<QByteArray>{"B", "a", "b"}));
    QCOMPARE(reader.root().value("b").toLongLong(), 4LL);
    QVERIFY(reader.parse("d1:ai1ei2e1:bi3ee"));
    QCOMPARE(reader.root().keys(), QList<QByteArray>{"a"});

    // Dictionaries are "Dictionary" values that generic code can walk.
    QVERIFY(reader.parse("d1:ald1:xi1e1:y2:zzee1:dd1:ki5eee"));
    const QVariant inList = reader.root().value("a").toList().value(0);
    QCOMPARE(inList.typeName(), "Dictionary");
    QCOMPARE(inList.userType(), BencodeReader::dictionaryMetaTypeId());
    QCOMPARE(QMetaType::type("Dictionary"), BencodeReader::dictionaryMetaTypeId());
    QVERIFY(inList.canConvert<QVariantMap>());
    QAssociativeIterable walk = inList.value<QAssociativeIterable>();
    QCOMPARE(walk.size(), 2);
    QStringList seen;
    for (auto it = walk.begin(); it != walk.end(); ++it)
        seen << QString::fromLatin1(it.key().toByteArray() + '=' + it.value().toByteArray());
    QCOMPARE(seen, (QStringList{QStringLiteral("x=1"), QStringLiteral("y=zz")}));
    QCOMPARE(reader.root().value("d").value<Dictionary>().value("k").toLongLong(), 5LL);

    // A failed parse leaves no partial tree behind.
    QVERIFY(!reader.parse("d1:ai1e1:bl"));
    QVERIFY(reader.root().isEmpty());
}

void BencodeReaderTest::readsRealTorrent()
{
    QFile file(QStringLiteral(PELORIN_RESOURCES_TEST_DATA "/multifile.torrent"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    BencodeReader reader;
    QVERIFY(reader.parse(bytes));
    QCOMPARE(reader.errorString(), QString());
    // Located independently when the fixture was written.
    QCOMPARE(reader.infoOffset(), 231);
    QCOMPARE(reader.infoLength(), 532);

    const Dictionary &root = reader.root();
    QCOMPARE(root.keys(), (QList<QByteArray>{"announce", "announce-list", "comment", "created by",
                                             "creation date", "encoding", "info", "url-list"}));
    QCOMPARE(root.value("creation date").toLongLong(), 1700000000LL);
    // The tiers of the announce list are nested lists, so they arrive flattened.
    QCOMPARE(root.value("announce-list").toList(),
             (QVariantList{QByteArray("http://127.0.0.1:6969/announce"), QByteArray("udp://127.0.0.1:6969")}));

    const Dictionary info = root.value("info").value<Dictionary>();
    QCOMPARE(info.value("name").toByteArray(), QByteArray("Sample Show"));
    QCOMPARE(info.value("piece length").toLongLong(), 16384LL);
    QCOMPARE(info.value("pieces").toByteArray().size(), 20 * 11);
    const QVariantList files = info.value("files").toList();
    QCOMPARE(files.size(), 5);
    const Dictionary subtitles = files.at(2).value<Dictionary>();
    QCOMPARE(subtitles.value("length").toLongLong(), 1234LL);
    QCOMPARE(subtitles.value("path").toList(),
             (QVariantList{QByteArray("Season 1"), QStringLiteral("字幕").toUtf8(), QByteArray("Episode 01.ass")}));

    BencodeReader fast;
    QVERIFY(fast.scan(bytes));
    QCOMPARE(fast.infoBytes(), bytes.mid(231, 532));
    QCOMPARE(fast.infoDigest().toHex(), QByteArray("cb9cdb5ec0d1cf2934414ead7fc716c3c9ad8253"));
}

void BencodeReaderTest::survivesHostileLengths()
{
    BencodeReader reader;
    // Lengths beyond the input and beyond int: no wrap, no read outside, same outcomes.
    QVERIFY(reader.parse("d1:a99999999999999999999999999:xy1:b"));
    QCOMPARE(reader.root().value("a").toByteArray(), QByteArray("xy1:b"));
    QCOMPARE(reader.root().size(), 1);

    const QByteArray huge("d4:info2147483647:ab");
    QVERIFY(reader.parse(huge));
    QCOMPARE(reader.infoOffset(), 7);
    QVERIFY(reader.infoLength() > 0);
    QCOMPARE(reader.infoBytes(), QByteArray("2147483647:ab"));

    // pos + length would overflow int: the position holds at the largest value instead.
    QVERIFY(reader.parse("d4:info2147483640:ab"));
    QCOMPARE(reader.infoLength(), INT_MAX - 7);
    QCOMPARE(reader.infoBytes(), QByteArray("2147483640:ab"));
    QVERIFY(!reader.parse("d2147483647:ab"));
    QCOMPARE(reader.errorString(), QStringLiteral("error at index %1").arg(INT_MAX));
    QVERIFY(!reader.scan("d2147483647:ab"));
    QCOMPARE(reader.errorString(), QStringLiteral("error at index %1").arg(INT_MAX));

    // A key running past the end still counts by the bytes it holds.
    QVERIFY(!reader.parse("d1:ai1e99:info"));
    QCOMPARE(reader.infoOffset(), 109);
    QCOMPARE(reader.errorString(), QStringLiteral("error at index 109"));
    QVERIFY(!reader.scan("d1:ai1e99:info"));
    QCOMPARE(reader.infoOffset(), 109);
}

void BencodeReaderTest::stopsAtNestingLimit()
{
    const int limit = BencodeReader::maxDepth;
    BencodeReader reader;

    // The top dictionary and limit - 1 lists still read.
    const QByteArray deepest = "d1:a" + QByteArray(limit - 1, 'l') + "i1e" + QByteArray(limit, 'e');
    QVERIFY(reader.parse(deepest));
    QCOMPARE(reader.root().value("a").toList(), QVariantList{1LL});

    const QByteArray tooDeep = "d1:a" + QByteArray(limit, 'l') + "i1e" + QByteArray(limit + 1, 'e');
    QVERIFY(!reader.parse(tooDeep));
    const QString message = QStringLiteral("Nesting deeper than %1 levels at pos %2").arg(limit).arg(4 + limit - 1);
    QCOMPARE(reader.errorString(), message);
    QVERIFY(!reader.scan(tooDeep));
    QCOMPARE(reader.errorString(), message);

    // Input that would recurse a million levels fails cleanly instead of overflowing the stack.
    QVERIFY(!reader.parse("d1:a" + QByteArray(1000000, 'l')));
    QVERIFY(reader.errorString().startsWith(QStringLiteral("Nesting deeper than")));
    // Bare "dddd" is no nesting: the second 'd' is no key, which ends the first dictionary.
    QVERIFY(reader.parse(QByteArray(1000000, 'd')));
    QByteArray keyed;
    for (int i = 0; i < 250000; ++i)
        keyed += "d1:a";
    QVERIFY(!reader.parse(keyed));
    QVERIFY(reader.errorString().startsWith(QStringLiteral("Nesting deeper than")));
    QByteArray dictionaries;
    for (int i = 0; i < 200000; ++i)
        dictionaries += "d4:info";
    QVERIFY(!reader.scan(dictionaries));
    QVERIFY(reader.errorString().startsWith(QStringLiteral("Nesting deeper than")));
    QVERIFY(!reader.parse("d1:a" + QByteArray(300000, 'l') + QByteArray(300000, 'e')));
}

QTEST_APPLESS_MAIN(BencodeReaderTest)
#include "tst_BencodeReader.moc"
