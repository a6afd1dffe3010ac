// The resource's own subtitles and the positions kept on the account, as a user meets them: the
// program's windows with libmpv against a started pelorin-service and its demo content, under a
// window manager, the track chosen with the pointer through the X server. Runs under
// tools/on-x-server.
#include "../shell/DesktopInput.h"
#include "../shell/MenuInput.h"
#include "EndToEnd.h"
#include "ServiceProcess.h"
#include "app/AppConfig.h"
#include "app/ui/Application.h"
#include "player/PlayPositionStore.h"
#include "player/PlaybackController.h"
#include "player/SubtitleOptions.h"
#include "player/SubtitlePreference.h"
#include "player/mpv/MpvPlayerEngine.h"
#include "resources/AccountPositions.h"
#include "resources/PlayRequest.h"
#include "resources/PlaySession.h"
#include "resources/protocol/ResourceInput.h"
#include "shell/ui/SettingsDialog.h"
#include "service/Endpoints.h"
#include "service/ServiceClient.h"

#include <QComboBox>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

class TestResourceExtras : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void subtitlesOfTheResource();
    void positionFollowsTheAccount();
    void positionWrittenWhileTheServiceIsDown();

private:
    // A program of its own in that folder (under the test's folder) as its working directory.
    bool startProgram(const QString &folder);
    bool play(const QString &magnet, const QString &name)
    {
        return e2e::playNamed(m_app->playback(), magnet, name);
    }
    QString subtitleText() const { return m_engine->config(PlayerEngine::SubtitleText).trimmed(); }
    QList<MediaTrack> subtitleTracks() const;
    // The account's entry for that file on the service, position -1 when there is none.
    int accountPosition(const QString &hash, quint32 index) const;

    QTemporaryDir m_dir;
    std::unique_ptr<ServiceProcess> m_service;
    QStringList m_magnets;
    DesktopInput m_input;
    MpvPlayerEngine *m_engine = nullptr;
    std::unique_ptr<Application> m_app;
};

void TestResourceExtras::initTestCase()
{
    QVERIFY(m_dir.isValid() && QDir::setCurrent(m_dir.path()));
    qputenv("HOME", m_dir.path().toUtf8());
    qunsetenv("XDG_CONFIG_HOME");
    m_service = std::make_unique<ServiceProcess>();
    QByteArray output;
    // Episodes of 10 s: long enough to look at their subtitles.
    m_magnets = e2e::prepareDemo(*m_service, &output, 10);
    QVERIFY2(m_magnets.size() == 4, output.constData());
    QVERIFY2(m_service->start(), m_service->log().constData());
    QVERIFY2(m_input.start(), "needs an X display (tools/on-x-server) and openbox");
}

void TestResourceExtras::cleanupTestCase()
{
    m_app.reset();
    m_service.reset();
}

bool TestResourceExtras::startProgram(const QString &folder)
{
    m_app.reset();
    if (!QDir(m_dir.path()).mkpath(folder) || !QDir::setCurrent(m_dir.filePath(folder)))
        return false;
    e2e::useService(*m_service);
    m_app = e2e::startLoggedIn(&m_engine);
    return m_app != nullptr;
}

QList<MediaTrack> TestResourceExtras::subtitleTracks() const
{
    QList<MediaTrack> tracks;
    for (const MediaTrack &track : m_app->playSession()->tracks())
        if (track.kind == MediaTrack::Subtitle)
            tracks << track;
    return tracks;
}

int TestResourceExtras::accountPosition(const QString &hash, quint32 index) const
{
    const ServiceReply reply = m_app->serviceClient()->call(Endpoints::playPositions());
    for (const PlayPositionStore::Entry &entry : AccountPositions::entriesFromReply(reply))
        if (entry.hash == hash && entry.index == index)
            return entry.positionMs;
    return -1;
}

void TestResourceExtras::subtitlesOfTheResource()
{
    QVERIFY(startProgram(QStringLiteral("one")));
    PlaySession::setAutoPlayNext(false);
    QCOMPARE(SubtitlePreference::current(), SubtitlePreference::Chinese);
    const auto restore = qScopeGuard([] { SubtitlePreference::set(SubtitlePreference::Chinese); });

    // English preferred in 软件设置, by the pointer.
    QWidget *window = m_app->mainWidget();
    const QPoint video = window->mapToGlobal(window->rect().center());
    QVERIFY(useContextMenu(&m_input, this, video, {QStringLiteral("软件设置")}).chosen);
    auto *settings = window->findChild<SettingsDialog *>();
    QTRY_VERIFY(settings && settings->isVisible());
    QVERIFY(QTest::qWaitForWindowExposed(settings));
    auto *preferred = settings->findChild<QComboBox *>(QStringLiteral("subtitleLanguageComboBox"));
    QVERIFY(chooseInComboBox(&m_input, preferred, preferred->findData(SubtitlePreference::English)));
    QCOMPARE(SubtitlePreference::current(), SubtitlePreference::English);
    settings->hide();

    // Episode 1 has a Chinese (GB18030) and an English subtitle beside it: the English one shows
    // by itself.
    QVERIFY(play(m_magnets[2], QStringLiteral("第1集")));
    m_app->playback()->pause();
    QTRY_VERIFY_WITH_TIMEOUT(subtitleTracks().size() == 2, e2e::kStepTimeoutMs);
    QTRY_COMPARE(subtitleText(), QStringLiteral("English subtitle test"));
    const QList<MediaTrack> tracks = subtitleTracks();
    QCOMPARE(tracks[0].title + QLatin1Char(' ') + tracks[0].language, QStringLiteral("演示剧 第1集.chs.srt chs"));
    QVERIFY(tracks[1].selected && tracks[1].external && !tracks[0].selected);

    // The Chinese one chosen in the menu with the pointer.
    const MenuUse use = useContextMenu(&m_input, this, video,
                                       {QStringLiteral("字幕轨道"), QStringLiteral("演示剧 第1集.chs.srt [chs]")});
    QVERIFY2(use.chosen, qPrintable(use.entries.join(QLatin1Char('|'))));
    QTRY_COMPARE(subtitleText(), QStringLiteral("中文字幕测试"));

    // The subtitle dialog's delay applies to it: 20 s later, nothing is shown at the start.
    SubtitleOptions *options = m_app->playback()->subtitles();
    options->setDelayMode(SubtitleOptions::Later);
    options->setDelayMilliseconds(QStringLiteral("20000"));
    QTRY_COMPARE(subtitleText(), QString());
    options->setDelayMode(SubtitleOptions::NoDelay);
    QTRY_COMPARE(subtitleText(), QStringLiteral("中文字幕测试"));

    // Episode 2 has only an untagged ASS file in Subs/: offered, not chosen over the user's
    // Chinese; back on episode 1 the user's Chinese is chosen by itself, over the preference.
    QVERIFY(m_app->playSession()->playNext());
    m_app->playback()->pause();
    QTRY_VERIFY_WITH_TIMEOUT(subtitleTracks().size() == 1, e2e::kStepTimeoutMs);
    QCOMPARE(subtitleTracks()[0].title, QStringLiteral("演示剧 第2集.ass"));
    QVERIFY(!subtitleTracks()[0].selected);
    QVERIFY(m_app->playSession()->playPrevious());
    m_app->playback()->pause();
    QTRY_COMPARE(subtitleText(), QStringLiteral("中文字幕测试"));
    m_app->playback()->stop();
    QTRY_VERIFY(!m_app->playback()->isMediaOpen());
}

void TestResourceExtras::positionFollowsTheAccount()
{
    // One player keeps where the film was left; it reaches the account.
    QVERIFY(startProgram(QStringLiteral("one")));
    QVERIFY(play(m_magnets[3], QStringLiteral("双音轨")));
    const QString hash = m_app->playSession()->currentFile().resourceHash.toLower();
    const quint32 index = m_app->playSession()->currentFile().resourceIndex;
    m_app->playback()->seek(12000);
    QTRY_VERIFY(m_app->playback()->position() >= 12000);
    m_app->playback()->pause();
    const int left = m_app->playback()->position();
    m_app->playback()->stop();
    QTRY_VERIFY(!m_app->playback()->isMediaOpen());
    QTRY_VERIFY_WITH_TIMEOUT(m_app->positions()->pendingEntries().isEmpty(), e2e::kStepTimeoutMs);
    const int up = accountPosition(hash, index);
    QVERIFY2(qAbs(up - left) < 1000, qPrintable(QStringLiteral("%1 %2").arg(up).arg(left)));

    // A second player in another folder, with nothing kept there, resumes there.
    QVERIFY(!QDir(m_dir.filePath(QStringLiteral("two"))).exists());
    QVERIFY(startProgram(QStringLiteral("two")));
    QVERIFY(play(m_magnets[3], QStringLiteral("双音轨")));
    QCOMPARE(m_app->playback()->openedAt(), up);
    // Stopped at once, before the engine tells its time: the position is not lost.
    m_app->playback()->stop();
    QTRY_VERIFY(!m_app->playback()->isMediaOpen());
    QTRY_VERIFY_WITH_TIMEOUT(m_app->positions()->pendingEntries().isEmpty(), e2e::kStepTimeoutMs);
    QVERIFY(accountPosition(hash, index) >= up);
}

void TestResourceExtras::positionWrittenWhileTheServiceIsDown()
{
    QVERIFY(startProgram(QStringLiteral("three")));
    const QString hash = resourceHashFromInput(m_magnets[3]);
    m_app->accountPositions()->setRetryInterval(500);

    // The service goes while a position is written: it stays pending, on disk too.
    m_service->stop();
    PlayPositionStore *positions = m_app->positions();
    positions->record(hash, 0, 13000, 45000); // the film is 45 s: not yet in its last 30 s
    QVERIFY(positions->save());
    QCOMPARE(positions->pendingEntries().size(), 1);
    QFile kept(QStringLiteral("PlayPosition.dat"));
    QVERIFY(kept.open(QIODevice::ReadOnly) && kept.readAll().contains("\"pending\": true"));
    QTest::qWait(1200); // tried again meanwhile, in vain
    QCOMPARE(positions->pendingEntries().size(), 1);

    // Back (on a new port): the write arrives, and another player resumes there.
    QVERIFY2(m_service->start(), m_service->log().constData());
    AppConfig::setServiceHost(m_service->hostPort());
    QTRY_VERIFY_WITH_TIMEOUT(positions->pendingEntries().isEmpty(), e2e::kStepTimeoutMs);
    QCOMPARE(accountPosition(hash.toLower(), 0), 13000);
    QVERIFY(startProgram(QStringLiteral("four")));
    QVERIFY(play(m_magnets[3], QStringLiteral("双音轨")));
    QCOMPARE(m_app->playback()->openedAt(), 13000);
}

QTEST_MAIN(TestResourceExtras)
#include "tst_ResourceExtras.moc"
