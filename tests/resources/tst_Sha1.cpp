#include "resources/protocol/Sha1.h"

#include <QtTest>

#include <random>

class Sha1Test : public QObject
{
    Q_OBJECT

private slots:
    void matchesPortableDigestAtEveryLength();
};

// Against Qt's SHA-1 rather than known vectors: every length and alignment, both code paths.
void Sha1Test::matchesPortableDigestAtEveryLength()
{
    qInfo("SHA instructions in use: %s", Sha1::usesShaInstructions() ? "yes" : "no");
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
