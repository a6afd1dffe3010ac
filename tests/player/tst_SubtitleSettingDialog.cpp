// The subtitle dialog driven as a user drives it: a window manager, and pointer and key input
// sent through the X server by another program. Runs under tools/on-x-server.
#include "../shell/DesktopInput.h"
#include "FakePlayerEngine.h"
#include "ScriptedHttpServer.h"
#include "app/AppConfig.h"
#include "app/ui/Application.h"
#include "app/ui/GuiResources.h"
#include "player/ui/SubtitleSettingDialog.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using E = PlayerEngine;

class TestSubtitleSettingDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { m_app.reset(); }
    void userChoicesReachTheEngine();

private:
    template <typename T> T *child(const char *name) const
    {
        T *found = m_dialog->findChild<T *>(QLatin1String(name));
        if (!found)
            qFatal("no child %s", name);
        return found;
    }
    bool click(QWidget *widget) { return m_input.click(widget->mapToGlobal(widget->rect().center())); }
    bool chooseItem(const char *box, int row);
    // Picks the file in the file dialog that the browse button opens, by typing its path.
    bool browseTo(const QString &path);

    QTemporaryDir m_dir;
    ScriptedHttpServer m_server;
    DesktopInput m_input;
    std::unique_ptr<Application> m_app;
    FakePlayerEngine *m_engine = nullptr;
    SubtitleSettingDialog *m_dialog = nullptr;
};

void TestSubtitleSettingDialog::initTestCase()
{
    initGuiResources();
    QVERIFY(m_dir.isValid() && QDir::setCurrent(m_dir.path()));
    QVERIFY(m_server.listen()); // announcements: none
    AppConfig::setServiceHost(m_server.hostPort());
    QVERIFY2(m_input.start(), "needs an X display (tools/on-x-server) and openbox");
    m_app = std::make_unique<Application>(
        [this](QWidget *playPage) { return m_engine = new FakePlayerEngine(playPage); });
    m_app->mainWidget()->move(60, 40);
    m_app->mainWidget()->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_app->mainWidget()));
    QVERIFY(m_app->engine());
}

bool TestSubtitleSettingDialog::chooseItem(const char *box, int row)
{
    auto *combo = child<QComboBox>(box);
    if (!click(combo))
        return false;
    QAbstractItemView *list = combo->view();
    if (!QTest::qWaitFor([list] { return list->isVisible(); }, 5000))
        return false;
    const QModelIndex index = combo->model()->index(row, 0);
    list->scrollTo(index);
    QTest::qWait(50);
    const QRect rect = list->visualRect(index);
    // The row may be wider than the popup that shows it.
    return m_input.click(list->viewport()->mapToGlobal(QPoint(list->viewport()->width() / 2, rect.center().y())))
        && QTest::qWaitFor([combo, row] { return combo->currentIndex() == row; }, 5000);
}

bool TestSubtitleSettingDialog::browseTo(const QString &path)
{
    // The file dialog runs its own event loop inside the click: the path is typed from a timer
    // meanwhile, then Return is pressed until the dialog takes it (the first may only close the
    // name completer). A dialog still open after 20 s is rejected, so that nothing hangs.
    bool typed = false;
    int ticks = 0;
    QTimer watcher;
    QProcess typing;
    connect(&watcher, &QTimer::timeout, this, [&] {
        auto *files = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!files || !files->isActiveWindow())
            return;
        if (++ticks > 40) {
            files->reject();
        } else if (!typed) {
            typed = true;
            typing.start(QStringLiteral("xdotool"), {QStringLiteral("type"), QStringLiteral("--delay"),
                                                     QStringLiteral("20"), path});
        } else if (typing.state() == QProcess::NotRunning && ticks % 4 == 0) {
            m_input.keyLater(QStringLiteral("Return"));
        }
    });
    watcher.start(250);
    const bool clicked = click(child<QPushButton>("browseSubtitleFilePushButton"));
    typing.waitForFinished(10000);
    return clicked && typed && ticks <= 40;
}

void TestSubtitleSettingDialog::userChoicesReachTheEngine()
{
    m_dialog = SubtitleSettingDialog::instance();
    auto *path = child<QLineEdit>("subtitleFilePathLineEdit");
    m_dialog->show();
    QVERIFY(QTest::qWaitForWindowActive(m_dialog));

    // Nothing playing: the chosen file only fills the line, and is loaded by the next open.
    const QString file = QDir(m_dir.path()).filePath(QStringLiteral("my subs.srt"));
    QFile(file).open(QIODevice::WriteOnly);
    m_engine->clearCalls();
    QVERIFY(browseTo(file));
    QTRY_COMPARE(path->text(), QDir::toNativeSeparators(file));
    QCOMPARE(m_engine->calls(), QList<FakePlayerEngine::Call>());
    m_engine->setScriptedConfig(E::SubtitlePlacement, QStringLiteral("1;50;90"));
    m_engine->setScriptedConfig(E::SubtitleFont, QStringLiteral("F;20;0;0"));
    m_engine->emitOpenSucceeded();
    QVERIFY(m_engine->configWrites().contains(QStringLiteral("503=") + file));
    m_engine->clearCalls();

    // "延迟" with an empty line sends nothing; typing 150 sends each value on the way.
    QVERIFY(chooseItem("subtitleDelayComboBox", 2));
    auto *milliseconds = child<QLineEdit>("subtitleDelayMillisecondsLineEdit");
    QVERIFY(click(milliseconds));
    QTRY_VERIFY(milliseconds->hasFocus());
    QVERIFY(m_input.type(QStringLiteral("1x50"))); // the validator keeps the letter out
    QTRY_COMPARE(milliseconds->text(), QStringLiteral("150"));
    QVERIFY(chooseItem("subtitleDelayComboBox", 1));
    for (int i = 0; i < 3; ++i)
        QVERIFY(click(child<QPushButton>("subtitleMoveUpPushButton")));
    QVERIFY(click(child<QPushButton>("subtitleMoveLeftPushButton")));
    QVERIFY(chooseItem("subtitleSizeComboBox", 5));
    QVERIFY(chooseItem("subtitleSwitchComboBox", 1));
    QTRY_COMPARE(m_engine->configWrites().size(), 10);
    QCOMPARE(m_engine->configWrites().join(QLatin1Char(' ')),
             QStringLiteral("509=1;1000;1000 509=15;1000;1000 509=150;1000;1000 509=-150;1000;1000 "
                            "507=1;50;89 507=1;50;88 507=1;50;87 507=1;49;87 508=F;12;0;0 504=0"));

    // The close button hides.
    QVERIFY(click(child<QPushButton>("closePushButton")));
    QTRY_VERIFY(!m_dialog->isVisible());
}

QTEST_MAIN(TestSubtitleSettingDialog)
#include "tst_SubtitleSettingDialog.moc"
