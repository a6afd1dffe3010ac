#include "FakePlayerEngine.h"
#include "app/AppConfig.h"
#include "player/PictureSoundOptions.h"
#include "player/PlaybackController.h"
#include "player/SubtitleOptions.h"

#include <QCoreApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

using E = PlayerEngine;

class TestPictureSoundOptions : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid() && QDir::setCurrent(m_dir.path())); }
    void init();
    void cleanup() { AppConfig::instance()->clear(); }

    void menuChoicesReachTheEngineOnlyWhileOpenAndAreStored();
    void enhancementFollowsTheEngineAndColoursShareOnePath();
    void openAppliesStoredChoicesWithTheSubtitleInItsPlace();
    void subtitleAdjustmentsNeedALoadedFile();

private:
    void open() { m_engine.emitOpenSucceeded(); m_engine.clearCalls(); }
    void close() { m_engine.emitStateChanged(E::Closing, E::Ready); }
    QStringList writes() const { return m_engine.configWrites(); }

    QTemporaryDir m_dir;
    FakePlayerEngine m_engine;
    PlaybackController m_playback;
    PictureSoundOptions *m_options = nullptr;
    SubtitleOptions *m_subtitles = nullptr;
};

void TestPictureSoundOptions::init()
{
    if (!m_playback.engine())
        m_playback.attachEngine(&m_engine);
    m_options = m_playback.pictureSound();
    m_subtitles = m_playback.subtitles();
    close();
    // The dialog's choices live on between tests as they do in the program.
    m_subtitles->setFilePath(QString());
    m_subtitles->setShown(true);
    m_subtitles->setDelayMode(SubtitleOptions::NoDelay);
    m_subtitles->setDelayMilliseconds(QString());
    m_engine.clearCalls();
}

void TestPictureSoundOptions::menuChoicesReachTheEngineOnlyWhileOpenAndAreStored()
{
    using P = PictureSoundOptions;
    const struct { void (P::*choose)(); P::Group group; const char *stored, *sent; } rows[] = {
        {&P::chooseDefaultAspectRatio, P::AspectRatio, "default", "204=1.5"},
        {&P::choose4To3AspectRatio, P::AspectRatio, "4:3", "204=4;3"},
        {&P::choose16To9AspectRatio, P::AspectRatio, "16:9", "204=16;9"},
        {&P::chooseStereoAudioChannel, P::AudioChannel, "StereoAudioChannel", "404=0"},
        {&P::chooseLeftAudioChannel, P::AudioChannel, "LeftAudioChannel", "404=1"},
        {&P::chooseRightAudioChannel, P::AudioChannel, "RightAudioChannel", "404=2"},
        {&P::chooseLeftRightAudioChannel, P::AudioChannel, "LeftRightAudioChannel", "404=3"},
        {&P::chooseOverlayRenderMode, P::RenderMode, "Overlay", "201=1"},
        {&P::chooseRenderlessRenderMode, P::RenderMode, "Renderless", "201=2"},
        {&P::chooseEVRRenderMode, P::RenderMode, "EVR", "201=3"},
        {&P::chooseEVRCPRenderMode, P::RenderMode, "EVRCP", "201=4"},
        {&P::chooseAVRRenderMode, P::RenderMode, "AVR", "201=5"},
    };
    m_engine.setScriptedConfig(E::VideoOwnAspect, QStringLiteral("1.5"));
    for (const auto &row : rows) {
        const QString stored = QString::fromLatin1(row.stored);
        AppConfig::instance()->clear();
        m_engine.clearCalls();
        (m_options->*row.choose)();
        QVERIFY2(m_engine.calls().isEmpty(), row.stored); // nothing open: stored only
        QCOMPARE(P::storedChoice(row.group), stored);
        open();
        AppConfig::instance()->clear();
        (m_options->*row.choose)();
        QCOMPARE(writes(), QStringList{QString::fromLatin1(row.sent)});
        if (stored == QLatin1String("default")) // the video's own ratio is read first
            QCOMPARE(m_engine.callNames(), (QStringList{QStringLiteral("config"), QStringLiteral("setConfig")}));
        QCOMPARE(P::storedChoice(row.group), stored);
        close();
    }
}

void TestPictureSoundOptions::enhancementFollowsTheEngineAndColoursShareOnePath()
{
    // Nothing open: the engine is only asked, and what it says is stored.
    m_engine.setScriptedConfig(E::PictureEnhancement, QStringLiteral("1"));
    m_options->toggleImageEnhancement();
    QCOMPARE(m_engine.callNames(), QStringList{QStringLiteral("config")});
    QCOMPARE(AppConfig::imageNormalize(), 1u);
    m_options->setBrightness(80);
    m_options->setHue(-3); // never below the slider's range
    QCOMPARE(writes(), QStringList());
    QCOMPARE(AppConfig::brightness(), 80u);
    QCOMPARE(AppConfig::hue(), 0u);

    // Open: twice toggled is back where it started, stored each time as the engine then reads.
    open();
    m_engine.setScriptedConfig(E::PictureEnhancement, QStringLiteral("0"));
    m_options->toggleImageEnhancement();
    QCOMPARE(AppConfig::imageNormalize(), 1u);
    m_options->toggleImageEnhancement();
    QCOMPARE(AppConfig::imageNormalize(), 0u);
    QCOMPARE(writes(), (QStringList{QStringLiteral("305=1"), QStringLiteral("305=0")}));
    m_engine.clearCalls();
    m_options->setContrast(30);
    m_options->setSaturation(70);
    m_options->restoreDefaultColours();
    QCOMPARE(writes(), (QStringList{QStringLiteral("215=30"), QStringLiteral("216=70"), QStringLiteral("214=50"),
                                     QStringLiteral("215=50"), QStringLiteral("216=50"), QStringLiteral("217=50")}));
    QCOMPARE(AppConfig::brightness() + AppConfig::contrast() + AppConfig::saturation() + AppConfig::hue(), 200u);
}

void TestPictureSoundOptions::openAppliesStoredChoicesWithTheSubtitleInItsPlace()
{
    m_options->choose16To9AspectRatio();
    m_options->chooseRightAudioChannel();
    m_options->chooseAVRRenderMode();
    m_options->setBrightness(60);
    m_subtitles->setFilePath(QStringLiteral("/tmp/字幕 a.srt")); // nothing open: only remembered
    m_subtitles->setShown(false);
    QCOMPARE(m_engine.calls(), QList<FakePlayerEngine::Call>());
    m_engine.emitOpenSucceeded();
    QCOMPARE(writes(), (QStringList{QStringLiteral("204=16;9"), QStringLiteral("404=2"),
                                     QStringLiteral("503=/tmp/字幕 a.srt"), QStringLiteral("504=0"),
                                     QStringLiteral("214=60"), QStringLiteral("215=50"), QStringLiteral("216=50"),
                                     QStringLiteral("217=50"), QStringLiteral("305=0"), QStringLiteral("201=5")}));
}

void TestPictureSoundOptions::subtitleAdjustmentsNeedALoadedFile()
{
    // A file the engine could not load reads back empty: nothing after it is sent.
    open();
    m_engine.setScriptedConfig(E::SubtitlePlacement, QStringLiteral("7;0;0"));
    m_engine.setScriptedConfig(E::SubtitleFont, QStringLiteral("F;12"));
    m_subtitles->setFilePath(QStringLiteral("/tmp/bad.srt"));
    m_engine.setScriptedConfig(E::SubtitleFile, QString());
    m_subtitles->setDelayMilliseconds(QStringLiteral("500"));
    m_subtitles->setDelayMode(SubtitleOptions::Earlier);
    m_subtitles->moveUp();
    m_subtitles->setShown(false);
    QCOMPARE(writes(), (QStringList{QStringLiteral("503=/tmp/bad.srt"), QStringLiteral("504=1")}));

    // Loaded: "关闭" clears the delay whatever the line holds; the box skips an empty or "0"
    // line; moves stop at 0; values with too few fields are left alone.
    m_engine.setScriptedConfig(E::SubtitleFile, QStringLiteral("/tmp/good.srt"));
    m_engine.clearCalls();
    m_subtitles->setDelayMode(SubtitleOptions::NoDelay);
    m_subtitles->setDelayMilliseconds(QString());
    m_subtitles->setDelayMode(SubtitleOptions::Later);
    m_subtitles->setDelayMilliseconds(QStringLiteral("0"));
    m_subtitles->setDelayMode(SubtitleOptions::Earlier);
    m_subtitles->moveLeft();
    m_subtitles->moveUp();
    m_subtitles->setSize(26);
    m_engine.setScriptedConfig(E::SubtitlePlacement, QStringLiteral("1;5"));
    m_subtitles->moveDown();
    QCOMPARE(writes().join(QLatin1Char(' ')),
             QStringLiteral("509=0;1000;1000 509=0;1000;1000 507=1;0;0 507=1;0;0"));
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    TestPictureSoundOptions test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_PictureSoundOptions.moc"
