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
    void survivesHostileNesting();
};

void BencodeReaderTest::readsByteExactCases_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("error");
    QTest::addColumn<int>("infoOffset");
    QTest::addColumn<int>("infoLength");
    const auto row = [](const char *name, const QByteArray &bytes, bool ok, const char *error = "", int offset = 0,
                        int length = 0) {
        QTest::newRow(name) << bytes << ok << QString::fromLatin1(error) << offset << length;
    };
    row("info dictionary", "d4:infod4:name1:aee", true, "", 7, 11);
    row("empty dictionary", "de", true);
    row("empty input", QByteArray(), false, "No content");
    row("integer at top", "i1e", false);
    row("bad integer byte", "d3:keyi12x", false, "error at index 9");
    row("list running out", "d1:al", false, "error at index 5");
    // A key that does not read ends the dictionary successfully; its message stays behind.
    row("bad key ends dictionary", "d3xe", true, "Unexpected character at pos 2: x");
    // The key reads truncated, pos lands past the end, and no value can start there.
    row("key past the end", "d10:abc", false, "error at index 14");
    // The span of the last "info" read wins, at whatever depth.
    row("nested info key", "d4:infod1:xi1ee1:yd4:info3:abcee", true, "", 25, 5);
    row("info running past the end", "d4:info5:ab", true, "", 7, 7);
    row("info key without value", "d4:info", false, "error at index 7", 7, 0);
    // Lengths beyond the input and beyond int: no wrap, no read outside. Where pos + length would
    // overflow int, the position holds at the largest value instead.
    row("length beyond int", "d1:a99999999999999999999999999:xy1:b", true);
    row("info of int length", "d4:info2147483647:ab", true, "", 7, INT_MAX - 7);
    row("key of int length", "d2147483647:ab", false, "error at index 2147483647");
    // A key running past the end still counts by the bytes it holds.
    row("info key past the end", "d1:ai1e99:info", false, "error at index 109", 109, 0);
    // The top dictionary and maxDepth - 1 lists still read; one more list is too deep.
    const int limit = BencodeReader::maxDepth;
    row("deepest", "d1:a" + QByteArray(limit - 1, 'l') + "i1e" + QByteArray(limit, 'e'), true);
    row("too deep", "d1:a" + QByteArray(limit, 'l') + "i1e" + QByteArray(limit + 1, 'e'), false,
        qPrintable(QStringLiteral("Nesting deeper than %1 levels at pos %2").arg(limit).arg(4 + limit - 1)));
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
    QCOMPARE(fast.infoBytes(), full.infoBytes());
    QVERIFY(fast.root().isEmpty());
}

void BencodeReaderTest::buildsValues()
{
    BencodeReader reader;
    // Nested lists are flattened into their parent, at any depth.
    QVERIFY(reader.parse("d1:alli1elli2eeei3eee"));
    QCOMPARE(reader.root().value("a").toList(), (QVariantList{1LL, 2LL, 3LL}));

    // Integers: 64-bit, leading zeros and negative zero accepted, overflow wraps.
    QVERIFY(reader.parse("d1:ai007e1:bi-0e1:ci18446744073709551617e1:di9223372036854775808e"
                         "1:ei-9223372036854775808e1:fi-42ee"));
    QCOMPARE(reader.root().value("a").userType(), int(QMetaType::LongLong));
    const QList<qint64> numbers = {7, 0, 1, LLONG_MIN, LLONG_MIN, -42};
    for (int i = 0; i < numbers.size(); ++i)
        QCOMPARE(reader.root().value(QByteArray(1, char('a' + i))).toLongLong(), numbers.at(i));

    // Byte strings stay bytes; a string running past the end keeps what there is.
    QVERIFY(reader.parse(QByteArray("d1:a3:\0\377e1:b5:abc", 17)));
    QCOMPARE(reader.root().value("a").toByteArray(), QByteArray("\0\377e", 3));
    QCOMPARE(reader.root().value("b").toByteArray(), QByteArray("abc"));

    // Keys in qstrcmp order; a repeated key keeps its later value; a non-key ends the dictionary.
    QVERIFY(reader.parse("d1:bi1e1:Bi2e1:ai3e1:bi4ee"));
    QCOMPARE(reader.root().keys(), (QList<QByteArray>{"B", "a", "b"}));
    QCOMPARE(reader.root().value("b").toLongLong(), 4LL);
    QVERIFY(reader.parse("d1:ai1ei2e1:bi3ee"));
    QCOMPARE(reader.root().keys(), QList<QByteArray>{"a"});

    // Dictionaries inside lists stay dictionaries that generic code can walk.
    QVERIFY(reader.parse("d1:ald1:xi1e1:y2:zzeee"));
    const QAssociativeIterable walk = reader.root().value("a").toList().value(0).value<QAssociativeIterable>();
    QCOMPARE(walk.value(QByteArray("y")).toByteArray(), QByteArray("zz"));

    // A failed parse leaves no partial tree behind.
    QVERIFY(!reader.parse("d1:ai1e1:bl"));
    QVERIFY(reader.root().isEmpty());
}

void BencodeReaderTest::survivesHostileNesting()
{
    BencodeReader reader;
    // Lengths beyond the input keep what there is.
    QVERIFY(reader.parse("d1:a99999999999999999999999999:xy1:b"));
    QCOMPARE(reader.root(), (Dictionary{{"a", QByteArray("xy1:b")}}));

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
