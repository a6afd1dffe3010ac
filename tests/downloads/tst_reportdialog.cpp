#include "app/AppConfig.h"
#include "notices/ui/ReportDialog.h"

#include "TestClient.h"

#include "ScriptedHttpServer.h"

#include <QButtonGroup>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {
const QString kHash = QStringLiteral("0123456789abcdef0123456789ABCDEF01234567");

QRadioButton *radio(QDialog *dialog, const char *name)
{
    return dialog->findChild<QRadioButton *>(QLatin1String(name));
}

QPushButton *button(QDialog *dialog, const char *name)
{
    return dialog->findChild<QPushButton *>(QLatin1String(name));
}
} // namespace

class TestReportDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void formAndExclusiveCategories();
    void nothingIsSentWithoutACategory();
    void chosenCategoryIsSentAndTheDialogClosesAtOnce();
    void cancelSendsNothing();

private:
    QTemporaryDir m_dir;
    ScriptedHttpServer m_server;
};

void TestReportDialog::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir::setCurrent(m_dir.path()));
    QVERIFY(m_server.listen());
    AppConfig::setServiceHost(m_server.hostPort());
}

void TestReportDialog::init()
{
    m_server.clearRoutes();
    m_server.clearRequests();
}

void TestReportDialog::formAndExclusiveCategories()
{
    QWidget parent;
    ReportDialog dialog(&testClient(), &parent);
    QCOMPARE(dialog.size(), QSize(400, 123));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("举报"));
    QVERIFY(!(dialog.windowFlags() & Qt::FramelessWindowHint));
    dialog.setHash(kHash);
    auto *hash = dialog.findChild<QLineEdit *>(QStringLiteral("hashLineEdit"));
    QVERIFY(hash);
    QVERIFY(hash->isReadOnly());
    QCOMPARE(hash->text(), kHash);
    QCOMPARE(dialog.hash(), kHash);
    QCOMPARE(button(&dialog, "submitPushButton")->text(), QStringLiteral("提交"));
    QCOMPARE(button(&dialog, "cancelPushButton")->text(), QStringLiteral("取消"));

    const char *names[] = {"baoKongRadioButton", "seQingRadioButton", "fanDongRadioButton", "xueXingRadioButton"};
    const QStringList labels = {QStringLiteral("暴恐"), QStringLiteral("色情"), QStringLiteral("反动"),
                                QStringLiteral("血腥")};
    QButtonGroup *group = dialog.findChild<QButtonGroup *>();
    QVERIFY(group);
    QVERIFY(group->exclusive());
    QCOMPARE(group->checkedId(), -1);
    for (int id = 0; id < 4; ++id) {
        QRadioButton *button = radio(&dialog, names[id]);
        QVERIFY(button);
        QCOMPARE(button->text(), labels.at(id));
        QVERIFY(!button->isChecked());
        QCOMPARE(group->id(button), id);
        QCOMPARE(ReportDialog::categoryText(id), labels.at(id));
    }
    radio(&dialog, "seQingRadioButton")->click();
    radio(&dialog, "xueXingRadioButton")->click();
    QCOMPARE(group->checkedId(), 3);
    QVERIFY(!radio(&dialog, "seQingRadioButton")->isChecked());
}

void TestReportDialog::nothingIsSentWithoutACategory()
{
    m_server.route("", ScriptedResponse::json(R"({"statu":1})"));
    ReportDialog dialog(&testClient());
    dialog.setHash(kHash);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    button(&dialog, "submitPushButton")->click();
    QVERIFY(dialog.isVisible());
    QTest::qWait(200);
    QVERIFY(m_server.requests().isEmpty());
}

void TestReportDialog::chosenCategoryIsSentAndTheDialogClosesAtOnce()
{
    // The service never answers: the dialog does not wait for it.
    m_server.route("do=report", ScriptedResponse::hang());
    ReportDialog dialog(&testClient());
    dialog.setHash(kHash);
    // Translated labels change nothing on the wire.
    radio(&dialog, "fanDongRadioButton")->setText(QStringLiteral("Reactionary"));
    QTimer::singleShot(0, &dialog, [&dialog] {
        radio(&dialog, "fanDongRadioButton")->click();
        button(&dialog, "submitPushButton")->click();
    });
    QElapsedTimer clock;
    clock.start();
    dialog.exec();
    QVERIFY(clock.elapsed() < 2000);
    QVERIFY(!dialog.isVisible());

    QTRY_COMPARE(m_server.requests().size(), 1);
    const RecordedRequest request = m_server.requests().at(0);
    QCOMPARE(request.method, QByteArray("POST"));
    QCOMPARE(request.path, QByteArray("/server/"));
    const QList<QByteArray> expected = {"r=www/default/pc", "do=report", "method=add", "name=" + kHash.toLatin1(),
                                        "desc=" + QStringLiteral("反动").toUtf8(), "_s=pc"};
    QCOMPARE(request.parameters(), expected);

    // Each category sends its own fixed text.
    const char *names[] = {"baoKongRadioButton", "seQingRadioButton", "xueXingRadioButton"};
    const QStringList texts = {QStringLiteral("暴恐"), QStringLiteral("色情"), QStringLiteral("血腥")};
    for (int i = 0; i < 3; ++i) {
        m_server.clearRequests();
        ReportDialog another(&testClient());
        another.setHash(kHash);
        another.show();
        radio(&another, names[i])->click();
        button(&another, "submitPushButton")->click();
        QVERIFY(!another.isVisible());
        QTRY_COMPARE(m_server.requests().size(), 1);
        QCOMPARE(m_server.requests().at(0).parameters().at(4), "desc=" + texts.at(i).toUtf8());
    }
}

void TestReportDialog::cancelSendsNothing()
{
    m_server.route("", ScriptedResponse::json(R"({"statu":1})"));
    ReportDialog dialog(&testClient());
    dialog.setHash(kHash);
    QTimer::singleShot(0, &dialog, [&dialog] {
        radio(&dialog, "baoKongRadioButton")->click();
        button(&dialog, "cancelPushButton")->click();
    });
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    QVERIFY(!dialog.isVisible());
    QTest::qWait(200);
    QVERIFY(m_server.requests().isEmpty());
}

QTEST_MAIN(TestReportDialog)
#include "tst_reportdialog.moc"
