#include "resources/protocol/Sha1.h"

#include <QtTest>

#include <random>

class Sha1Test : public QObject
{
    Q_OBJECT

private slots:
    void matchesKnownDigests();
    void matchesPortableDigestAtEveryLength();
};

void Sha1Test::matchesKnownDigests()
{
    qInfo("SHA instructions in use: %s", Sha1::usesShaInstructions() ? "yes" : "no");
    QCOMPARE(Sha1::hash(nullptr, 0).toHex(), QByteArray("da39a3ee5e6b4b0d3255bfef95601890afd80709"));
    QCOMPARE(Sha1::hash(QByteArray("abc")).toHex(), QByteArray("a9993e364706816aba3e25717850c26c9cd0d89d"));
    // 56 bytes: the length no longer fits the first block.
    QCOMPARE(Sha1::hash(QByteArray("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")).toHex(),
             QByteArray("84983e441c3bd26ebaae4aa1f95129e5e54670f1"));
    QCOMPARE(Sha1::hash(QByteArray(1000000, 'a')).toHex(), QByteArray("34aa973cd4c4daa4f61eeb2bdbad27316534016f"));
}

void Sha1Test::matchesPortableDigestAtEveryLength()
{
    std::mt19937 random(20261206);
    QByteArray data(3 * 1024 * 1024 + 77, Qt::Uninitialized);
    for (char &c : data)
        c = char(random());
    // Every length around the block and padding boundaries, at odd alignments.
    for (int offset : {0, 1, 3, 7}) {
        for (int length = 0; length <= 260; ++length) {
            const char *start = data.constData() + offset;
            const QByteArray expected =
                QCryptographicHash::hash(QByteArray::fromRawData(start, length), QCryptographicHash::Sha1);
            QVERIFY2(Sha1::hash(start, length) == expected, qPrintable(QString::number(length)));
        }
    }
    const QByteArray expected = QCryptographicHash::hash(data, QCryptographicHash::Sha1);
    QCOMPARE(Sha1::hash(data), expected);
    Sha1::setPortableOnly(true);
    QVERIFY(!Sha1::usesShaInstructions());
    QCOMPARE(Sha1::hash(data), expected);
    Sha1::setPortableOnly(false);
}

QTEST_APPLESS_MAIN(Sha1Test)
#include "tst_Sha1.moc"
