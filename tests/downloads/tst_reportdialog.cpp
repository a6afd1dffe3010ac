#include "app/AppConfig.h"
#include "notices/ui/ReportDialog.h"

#include "ScriptedHttpServer.h"
#include "TestClient.h"

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

void TestReportDialog::chosenCategoryIsSentAndTheDialogClosesAtOnce()
{
    // The service never answers: the dialog does not wait for it.
    m_server.route("do=report", ScriptedResponse::hang());
    for (int id : {0, 3}) {
        m_server.clearRequests();
        ReportDialog dialog(&testClient());
        dialog.setHash(kHash);
        // Translated labels change nothing on the wire.
        child<QRadioButton>(&dialog, kRadios[id])->setText(QStringLiteral("Translated"));
        QTimer::singleShot(0, &dialog, [&dialog, id] {
            child<QRadioButton>(&dialog, kRadios[id])->click();
            child<QPushButton>(&dialog, "submitPushButton")->click();
        });
        dialog.exec();
        QTRY_COMPARE(m_server.requests().size(), 1);
        const RecordedRequest request = m_server.requests().at(0);
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
