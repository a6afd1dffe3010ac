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
    void onlyAChosenCategoryIsSentAndTheDialogClosesAtOnce();

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

void TestReportDialog::onlyAChosenCategoryIsSentAndTheDialogClosesAtOnce()
{
    // The service never answers: the dialog does not wait for it.
    m_server.route("do=report", ScriptedResponse::hang());
    // The category chosen (-1: none) and the button pressed. Without a choice the dialog stays open.
    const QList<QPair<int, const char *>> cases = {
        {0, "submitPushButton"}, {3, "submitPushButton"}, {-1, "submitPushButton"}, {0, "cancelPushButton"}};
    for (const auto &c : cases) {
        m_server.clearRequests();
        ReportDialog dialog(&testClient());
        dialog.setHash(kHash);
        bool stayedOpen = false;
        QTimer::singleShot(0, &dialog, [&dialog, &stayedOpen, c] {
            if (c.first >= 0) {
                // Translated labels change nothing on the wire.
                child<QRadioButton>(&dialog, kRadios[c.first])->setText(QStringLiteral("Translated"));
                child<QRadioButton>(&dialog, kRadios[c.first])->click();
            }
            child<QPushButton>(&dialog, c.second)->click();
            stayedOpen = dialog.isVisible();
            dialog.reject();
        });
        dialog.exec();
        QVERIFY2(stayedOpen == (c.first < 0), c.second);
        if (c.first < 0 || qstrcmp(c.second, "cancelPushButton") == 0) {
            QTest::qWait(200);
            QVERIFY2(m_server.requests().isEmpty(), c.second);
            continue;
        }
        QTRY_COMPARE(m_server.requests().size(), 1);
        const QList<QByteArray> expected = {"r=www/default/pc",
                                            "do=report",
                                            "method=add",
                                            "name=" + kHash.toLatin1(),
                                            "desc=" + kLabels.at(c.first).toUtf8(),
                                            "_s=pc"};
        QCOMPARE(m_server.requests().at(0).parameters(), expected);
    }
}

QTEST_MAIN(TestReportDialog)
#include "tst_reportdialog.moc"
