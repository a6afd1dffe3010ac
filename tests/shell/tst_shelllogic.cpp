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
    void edgeRegionsAndCursors();
    void resizeKeepsTheOppositeEdge();
    void durations();
    void announcementsInTitleOrder();
};

void TestShellLogic::edgeRegionsAndCursors()
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
    QCOMPARE(EdgeRegions::cursorFor(11), Qt::SizeFDiagCursor);
    QCOMPARE(EdgeRegions::cursorFor(33), Qt::SizeFDiagCursor);
    QCOMPARE(EdgeRegions::cursorFor(13), Qt::SizeBDiagCursor);
    QCOMPARE(EdgeRegions::cursorFor(31), Qt::SizeBDiagCursor);
    QCOMPARE(EdgeRegions::cursorFor(12), Qt::SizeVerCursor);
    QCOMPARE(EdgeRegions::cursorFor(32), Qt::SizeVerCursor);
    QCOMPARE(EdgeRegions::cursorFor(21), Qt::SizeHorCursor);
    QCOMPARE(EdgeRegions::cursorFor(23), Qt::SizeHorCursor);
    QCOMPARE(EdgeRegions::cursorFor(22), Qt::ArrowCursor);
    QCOMPARE(EdgeRegions::cursorFor(0), Qt::ArrowCursor);
}

void TestShellLogic::resizeKeepsTheOppositeEdge()
{
    const QRect start(100, 50, 902, 572);
    const QPoint d(30, -20);
    // Dragging a left or top edge moves that edge only: right and bottom stay where they were.
    QCOMPARE(EdgeRegions::resized(start, 11, d), QRect(130, 30, 872, 592));
    QCOMPARE(EdgeRegions::resized(start, 11, d).right(), start.right());
    QCOMPARE(EdgeRegions::resized(start, 11, d).bottom(), start.bottom());
    QCOMPARE(EdgeRegions::resized(start, 12, d), QRect(100, 30, 902, 592));
    QCOMPARE(EdgeRegions::resized(start, 13, d), QRect(100, 30, 932, 592));
    QCOMPARE(EdgeRegions::resized(start, 21, d), QRect(130, 50, 872, 572));
    QCOMPARE(EdgeRegions::resized(start, 23, d), QRect(100, 50, 932, 572));
    QCOMPARE(EdgeRegions::resized(start, 31, d), QRect(130, 50, 872, 552));
    QCOMPARE(EdgeRegions::resized(start, 32, d), QRect(100, 50, 902, 552));
    QCOMPARE(EdgeRegions::resized(start, 33, d), QRect(100, 50, 932, 552));
    QCOMPARE(EdgeRegions::resized(start, 22, d), start);
    QCOMPARE(EdgeRegions::resized(start, 0, d), start);
}

void TestShellLogic::durations()
{
    QCOMPARE(formatDuration(0), QStringLiteral("00:00:00"));
    QCOMPARE(formatDuration(999), QStringLiteral("00:00:00"));
    QCOMPARE(formatDuration(61001), QStringLiteral("00:01:01"));
    QCOMPARE(formatDuration(3600000 + 59 * 60000 + 59999), QStringLiteral("01:59:59"));
    QCOMPARE(formatDuration(24LL * 3600000 - 1), QStringLiteral("23:59:59"));
    QCOMPARE(formatDuration(24LL * 3600000), QString());
    QCOMPARE(formatDuration(25LL * 3600000), QString());
}

static ServiceReply reply(const QByteArray &json)
{
    return ServiceReply::envelope(QJsonDocument::fromJson(json).toVariant().toMap());
}

void TestShellLogic::announcementsInTitleOrder()
{
    AnnouncementList list;
    QVERIFY(list.load(reply(R"({"statu":1,"data":[{"title":"beta","url":"http://b"},
        {"title":"alpha","url":"http://a1"},{"title":"gamma","url":"http://g"},{"title":"alpha","url":"http://a2"}]})")));
    QCOMPARE(list.size(), 3);
    QCOMPARE(list.labelText(0),
             QStringLiteral("<a href=\"http://a2\" style=\"text-decoration: none; color:#01bd31;\">alpha</a>"));
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
