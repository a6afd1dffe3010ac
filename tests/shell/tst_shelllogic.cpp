#include "player/FormatDuration.h"
#include "service/ServiceReply.h"
#include "shell/AnnouncementList.h"
#include "shell/EdgeRegions.h"

#include <QJsonDocument>
#include <QtTest>

class TestShellLogic : public QObject
{
    Q_OBJECT

private slots:
    void edgeRegions();
    void durations();
    void announcementsInTitleOrder();
};

void TestShellLogic::edgeRegions()
{
    const EdgeRegions regions(QSize(902, 572));
    const QList<QPair<QPoint, int>> cases = {
        {{0, 0}, 11},     {{4, 4}, 11},     {{5, 0}, 12},     {{896, 4}, 12},  {{897, 0}, 13}, {{901, 4}, 13},
        {{0, 5}, 21},     {{4, 566}, 21},   {{5, 5}, 22},     {{896, 566}, 22}, {{897, 5}, 23}, {{0, 567}, 31},
        {{450, 571}, 32}, {{901, 571}, 33}, {{902, 10}, 0},   {{-1, 10}, 0},
    };
    for (const auto &c : cases)
        QVERIFY2(regions.regionAt(c.first) == c.second,
                 qPrintable(QStringLiteral("(%1,%2)").arg(c.first.x()).arg(c.first.y())));
    // What a compositor is asked to drag for each region.
    QCOMPARE(EdgeRegions::edgesOf(11), Qt::TopEdge | Qt::LeftEdge);
    QCOMPARE(EdgeRegions::edgesOf(23), Qt::Edges(Qt::RightEdge));
    QCOMPARE(EdgeRegions::edgesOf(31), Qt::BottomEdge | Qt::LeftEdge);
    QCOMPARE(EdgeRegions::edgesOf(22), Qt::Edges());
    QCOMPARE(EdgeRegions::edgesOf(EdgeRegions::None), Qt::Edges());
}

void TestShellLogic::durations()
{
    QCOMPARE(formatDuration(999), QStringLiteral("00:00:00"));
    QCOMPARE(formatDuration(61001), QStringLiteral("00:01:01"));
    QCOMPARE(formatDuration(24LL * 3600000 - 1), QStringLiteral("23:59:59"));
    QCOMPARE(formatDuration(24LL * 3600000), QString());
}

static ServiceReply reply(const QByteArray &json)
{
    return ServiceReply::envelope(QJsonDocument::fromJson(json).toVariant().toMap());
}

void TestShellLogic::announcementsInTitleOrder()
{
    AnnouncementList list;
    const QByteArray titles = R"({"statu":1,"data":[{"title":"beta","url":"http://b"},{"title":"alpha","url":"http://a1"},)"
                              R"({"title":"gamma","url":"http://g"},{"title":"alpha","url":"http://a2"}]})";
    QVERIFY(list.load(reply(titles)));
    QCOMPARE(list.size(), 3);
    QVERIFY(list.labelText(0).contains(QLatin1String("http://a2"))); // the last of equal titles
    int shown = 0;
    QStringList order{list.title(shown)};
    for (int i = 0; i < 3; ++i) {
        shown = list.next(shown);
        order << list.title(shown);
    }
    QCOMPARE(order, (QStringList{QStringLiteral("alpha"), QStringLiteral("beta"), QStringLiteral("gamma"),
                                 QStringLiteral("alpha")}));

    // Titles that contain each other still rotate in order.
    QVERIFY(list.load(reply(R"({"statu":1,"data":[{"title":"a","url":"1"},{"title":"ab","url":"2"}]})")));
    QCOMPARE(list.title(list.next(list.next(0))), QStringLiteral("a"));
    QCOMPARE(list.title(list.next(0)), QStringLiteral("ab"));

    QVERIFY(!list.load(reply(R"({"statu":0,"data":[{"title":"x","url":"y"}]})")));
    QVERIFY(list.isEmpty());
    QVERIFY(!list.load(ServiceReply::networkFailure()));
    QVERIFY(list.load(reply(R"({"statu":1,"data":[]})")));
    QVERIFY(list.isEmpty());
}

QTEST_GUILESS_MAIN(TestShellLogic)
#include "tst_shelllogic.moc"
