#include "account/ui/AccountFunctionDialog.h"
#include "app/ui/Application.h"
#include "app/ui/GuiResources.h"
#include "notices/ui/VIPTipDialog.h"
#include "player/PlaybackController.h"
#include "player/mpv/MpvPlayerEngine.h"
#include "resources/protocol/ResourceInput.h"
#include "resources/ui/BTResourceCollectionListItemWidget.h"
#include "resources/ui/BTResourceFunctionDialog.h"
#include "resources/ui/BTResourceParseResultListItemWidget.h"
#include "resources/ui/CollectNowPlayingResourceDialog.h"

#include "EndToEnd.h"
#include "Eventually.h"
#include "ModalAnswerer.h"
#include "ServiceProcess.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {
QPushButton *button(QWidget *row, const char *name) { return row->findChild<QPushButton *>(QLatin1String(name)); }
} // namespace

// The demo account reloads the demo magnet's first file on every line with libmpv, and collects,
// lists and deletes the playing file; an account without VIP is refused the VIP-only resource.
// All against a started service and its video hosts.
class TestEndToEndResources : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void reloadOnEveryLine();
    void collectListAndDelete();
    void vipOnlyResourceIsRefusedWithoutVip();

private:
    template <typename T> T *child(const char *name) { return m_dialog->findChild<T *>(QLatin1String(name)); }
    QString state() { return child<QLabel>("parsePageParseStateLabel")->text(); }
    QList<BTResourceCollectionListItemWidget *> collections()
    {
        return e2e::rowsOf<BTResourceCollectionListItemWidget>(
            child<QListWidget>("collectionPageCollectionListWidget"));
    }
    BTResourceCollectionListItemWidget *collectionNamed(const QString &name);
    bool clickPlay(QWidget *row, const char *name = "playPushButton")
    {
        return e2e::clickPlay(m_app->playback(), m_dialog, button(row, name));
    }
    // Types a magnet on the parse page; true when it parsed into that many file rows.
    bool parse(const QString &magnet, int files);

    QTemporaryDir m_dir;
    std::unique_ptr<ServiceProcess> m_service;
    QStringList m_magnets;
    MpvPlayerEngine *m_engine = nullptr;
    std::unique_ptr<Application> m_app;
    BTResourceFunctionDialog *m_dialog = nullptr;
};

void TestEndToEndResources::initTestCase()
{
    initGuiResources();
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir::setCurrent(m_dir.path()));
    m_service = std::make_unique<ServiceProcess>();
    QByteArray output;
    m_magnets = e2e::prepareDemo(*m_service, &output);
    QVERIFY2(m_magnets.size() == 4, output.constData()); // the collection and the VIP file first
    QVERIFY2(m_service->start(), m_service->log().constData());
    e2e::useService(*m_service);

    m_app = e2e::startLoggedIn(&m_engine);
    QVERIFY(m_app);
    QVERIFY(AccountFunctionDialog::instance()->permanentVip());
    m_dialog = BTResourceFunctionDialog::instance();
    // The service's own video hosts come first in the list it hands out.
    for (const QString &host : m_service->videoHosts())
        QVERIFY2(m_dialog->videoDomains().contains(host), qPrintable(m_dialog->videoDomains().join(QLatin1Char(' '))));
}

BTResourceCollectionListItemWidget *TestEndToEndResources::collectionNamed(const QString &name)
{
    for (BTResourceCollectionListItemWidget *row : collections()) {
        if (row->file().fileName == name)
            return row;
    }
    return nullptr;
}

bool TestEndToEndResources::parse(const QString &magnet, int files)
{
    m_dialog->showPage(QStringLiteral("parsePage"));
    child<QLineEdit>("parsePageBTResourceLineEdit")->clear();
    child<QLineEdit>("parsePageBTResourceLineEdit")->setText(magnet);
    return state() == QStringLiteral("解析BT资源成功") && e2e::parseRows(m_dialog).size() == files;
}

void TestEndToEndResources::reloadOnEveryLine()
{
    // Every line of the engine box is one the service knows, with a fresh address each time; the
    // real engine opens each. (Parse, play, record, replay and download through the whole program
    // are tst_e2e_product's.)
    QVERIFY2(parse(m_magnets[0], 2), qPrintable(state()));
    auto *lines = child<QComboBox>("parsePageEngineComboBox");
    QCOMPARE(lines->count(), 7);
    for (int line = 0; line < lines->count(); ++line) {
        lines->setCurrentIndex(line);
        QSignalSpy opened(m_app->playback(), &PlaybackController::opened);
        const QList<BTResourceParseResultListItemWidget *> rows = e2e::parseRows(m_dialog);
        QVERIFY(!rows.isEmpty());
        QVERIFY2(clickPlay(rows[0], "reloadPushButton"),
                 qPrintable(QStringLiteral("%1: %2").arg(lines->itemText(line), state())));
        QCOMPARE(opened.count(), 1);
        QVERIFY(!m_dialog->isBusy() && m_dialog->isHidden() && m_engine->duration() > 0);
    }
    lines->setCurrentIndex(0);
}

void TestEndToEndResources::collectListAndDelete()
{
    // The clips are short: paused at once, the file stays open while it is collected.
    connect(m_app->playback(), &PlaybackController::opened, m_engine, &PlayerEngine::pause, Qt::QueuedConnection);
    const QString name = QStringLiteral("周末 要看的 演示");
    const QString hash = resourceHashFromInput(m_magnets[0]);
    child<QPushButton>("collectionPageFlushCollectionListPushButton")->click();
    const int before = collections().size();
    QVERIFY(!collectionNamed(name));

    // Something has to be open to be collected.
    QVERIFY2(parse(m_magnets[0], 2), qPrintable(state()));
    const BTResourceFile played = e2e::parseRows(m_dialog)[0]->file();
    QVERIFY2(e2e::playRow(m_app->playback(), m_dialog, 0), qPrintable(state()));
    QTRY_VERIFY_WITH_TIMEOUT(m_app->playback()->isMediaOpen(), e2e::kStepTimeoutMs);

    // The collect dialog proposes the file's name; the user gives another one.
    m_dialog->showPage(QStringLiteral("collectionPage"));
    QString proposed;
    QPointer<QTimer> filler = whenTrue(
        this, [] { return qobject_cast<CollectNowPlayingResourceDialog *>(QApplication::activeModalWidget()); },
        [&proposed, name] {
            QWidget *dialog = QApplication::activeModalWidget();
            auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameLineEdit"));
            proposed = edit->text();
            edit->setText(name);
            button(dialog, "okPushButton")->click();
        });
    {
        // A refusal would show a message box and keep the dialog open: answered, then cancelled.
        ModalAnswerer refusal({QStringLiteral("确定"), QStringLiteral("取消(C)")});
        child<QPushButton>("collectionPageCollectCurrentPlayingResourcePushButton")->click();
        QVERIFY2(refusal.seen().isEmpty(), qPrintable(refusal.seen().value(0).text));
    }
    delete filler;
    QCOMPARE(proposed, played.fileName);

    // The list was reloaded from the service.
    QCOMPARE(collections().size(), before + 1);
    BTResourceCollectionListItemWidget *collected = collectionNamed(name);
    QVERIFY(collected);
    QCOMPARE(collected->file().resourceHash.toLower(), hash.toLower());
    QCOMPARE(collected->file().resourceIndex, played.resourceIndex);
    button(collected, "copyURLPushButton")->click();
    QCOMPARE(resourceHashFromInput(QGuiApplication::clipboard()->text()).toLower(), hash.toLower());

    // Its play button parses the resource again and plays the collected file over the open one.
    QVERIFY2(clickPlay(collected), qPrintable(state()));
    QCOMPARE(m_dialog->currentResource().resourceIndex, played.resourceIndex);
    QCOMPARE(m_dialog->currentResource().fileName, played.fileName);
    m_dialog->showPage(QStringLiteral("collectionPage"));
    collected = collectionNamed(name);
    QVERIFY(collected);

    // Deleted: gone at once, and still gone when the list is fetched again.
    const QString stateBefore = state();
    button(collected, "deletePushButton")->click();
    for (int fetched = 0; fetched < 2; ++fetched) {
        if (fetched)
            child<QPushButton>("collectionPageFlushCollectionListPushButton")->click();
        QCOMPARE(collections().size(), before);
        QVERIFY(!collectionNamed(name));
        QCOMPARE(state(), stateBefore);
    }
}

void TestEndToEndResources::vipOnlyResourceIsRefusedWithoutVip()
{
    AccountFunctionDialog *account = AccountFunctionDialog::instance();
    button(account, "miscPageLogoutPushButton")->click();
    QVERIFY(e2e::logInThroughDialog(QStringLiteral("free@pelorin.test"), QStringLiteral("free1234")));
    QVERIFY(!account->vip());
    QVERIFY(!account->permanentVip());

    QVERIFY2(parse(m_magnets[1], 1), qPrintable(state()));
    BTResourceParseResultListItemWidget *row = e2e::parseRows(m_dialog)[0];
    QSignalSpy opened(m_app->playback(), &PlaybackController::opened);
    button(row, "playPushButton")->click();
    QCOMPARE(state(), QStringLiteral("该资源仅限VIP会员观看，请先开通VIP！"));
    QVERIFY(VIPTipDialog::instance()->isVisible());
    VIPTipDialog::instance()->hide();
    QVERIFY(!m_dialog->isBusy());
    QCOMPARE(opened.count(), 0);

    // Downloads need the permanent tier, which the program checks before asking the service.
    ModalAnswerer answerer({QStringLiteral("确定")});
    button(row, "downloadPushButton")->click();
    QCOMPARE(answerer.seen().value(0).text, QStringLiteral("非永久vip不可用！"));
}

QTEST_MAIN(TestEndToEndResources)
#include "tst_e2e_resources.moc"
