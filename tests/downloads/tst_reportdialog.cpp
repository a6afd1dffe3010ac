#include "app/AppConfig.h"
#include "notices/ui/ReportDialog.h"

#include "ScriptedHttpServer.h"
#include "TestClient.h"

#include <QButtonGroup>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

namespace {
const QString kHash = QStringLiteral("0123456789abcdef0123456789ABCDEF01234567");
const char *const kRadios[] = {"baoKongRadioButton", "seQingRadioButton", "fanDongRadioButton", "xueXingRadioButton"};
const QStringList kLabels = {QStringLiteral("暴恐"), QStringLiteral("色情"), QStringLiteral("反动"),
                             QStringLiteral("血腥")};

template <typename T> T *child(QDialog *dialog, const char *name)
{
    return dialog->findChild<T *>(QLatin1String(name));
}
} // namespace

class TestReportDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void formAndExclusiveCategories();
    void chosenCategoryIsSentAndTheDialogClosesAtOnce();
    void nothingIsSentWithoutACategoryOrOnCancel();

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

void TestReportDialog::formAndExclusiveCategories()
{
    QWidget parent;
    ReportDialog dialog(&testClient(), &parent);
    QCOMPARE(dialog.size(), QSize(400, 123));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("举报"));
    QVERIFY(!(dialog.windowFlags() & Qt::FramelessWindowHint));
    dialog.setHash(kHash);
    auto *hash = child<QLineEdit>(&dialog, "hashLineEdit");
    QVERIFY(hash->isReadOnly());
    QCOMPARE(hash->text(), kHash);
    QCOMPARE(child<QPushButton>(&dialog, "submitPushButton")->text(), QStringLiteral("提交"));
    QCOMPARE(child<QPushButton>(&dialog, "cancelPushButton")->text(), QStringLiteral("取消"));
    for (int id = 0; id < 4; ++id) {
        QCOMPARE(child<QRadioButton>(&dialog, kRadios[id])->text(), kLabels.at(id));
        QVERIFY(!child<QRadioButton>(&dialog, kRadios[id])->isChecked());
    }
    child<QRadioButton>(&dialog, "seQingRadioButton")->click();
    child<QRadioButton>(&dialog, "xueXingRadioButton")->click();
    QCOMPARE(dialog.findChild<QButtonGroup *>()->checkedId(), 3);
    QVERIFY(!child<QRadioButton>(&dialog, "seQingRadioButton")->isChecked());
}

void TestReportDialog::chosenCategoryIsSentAndTheDialogClosesAtOnce()
{
    // The service never answers: the dialog does not wait for it.
    m_server.route("do=report", ScriptedResponse::hang());
    for (int id = 0; id < 4; ++id) {
        m_server.clearRequests();
        ReportDialog dialog(&testClient());
        dialog.setHash(kHash);
        // Translated labels change nothing on the wire.
        child<QRadioButton>(&dialog, kRadios[id])->setText(QStringLiteral("Translated"));
        QTimer::singleShot(0, &dialog, [&dialog, id] {
            child<QRadioButton>(&dialog, kRadios[id])->click();
            child<QPushButton>(&dialog, "submitPushButton")->click();
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
        const QList<QByteArray> expected = {"r=www/default/pc",
                                            "do=report",
                                            "method=add",
                                            "name=" + kHash.toLatin1(),
                                            "desc=" + kLabels.at(id).toUtf8(),
                                            "_s=pc"};
        QCOMPARE(request.parameters(), expected);
    }
}

void TestReportDialog::nothingIsSentWithoutACategoryOrOnCancel()
{
    m_server.clearRoutes();
    m_server.clearRequests();
    m_server.route("", ScriptedResponse::json(R"({"statu":1})"));
    ReportDialog unchosen(&testClient());
    unchosen.setHash(kHash);
    unchosen.show();
    QVERIFY(QTest::qWaitForWindowExposed(&unchosen));
    child<QPushButton>(&unchosen, "submitPushButton")->click();
    QVERIFY(unchosen.isVisible());

    ReportDialog cancelled(&testClient());
    cancelled.setHash(kHash);
    QTimer::singleShot(0, &cancelled, [&cancelled] {
        child<QRadioButton>(&cancelled, "baoKongRadioButton")->click();
        child<QPushButton>(&cancelled, "cancelPushButton")->click();
    });
    QCOMPARE(cancelled.exec(), int(QDialog::Rejected));
    QVERIFY(!cancelled.isVisible());
    QTest::qWait(200);
    QVERIFY(m_server.requests().isEmpty());
}

QTEST_MAIN(TestReportDialog)
#include "tst_reportdialog.moc"
