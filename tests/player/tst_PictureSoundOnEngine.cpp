// The picture, sound and subtitle choices on the real engine, as the user sees them: rendered
// frames on an X display (Xvfb) and the subtitle text libmpv shows.

#include "EngineTestMedia.h"
#include "TestFiles.h"
#include "player/PictureSoundOptions.h"
#include "player/PlaybackController.h"
#include "player/SubtitleOptions.h"
#include "player/mpv/MpvAccess.h"
#include "player/mpv/MpvPlayerEngine.h"
#include "player/ui/MpvVideoWidget.h"

#include <QLabel>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

#include <clocale>

namespace {

constexpr int Wait = 30000;
const QString First = QStringLiteral("第一行：你好，世界！");
const QString Second = QStringLiteral("第二行：字幕要在十点五秒出现。");

QString srt()
{
    return QStringLiteral("1\n00:00:02,000 --> 00:00:04,000\n%1\n\n2\n00:00:10,500 --> 00:00:12,500\n%2\n\n"
                          "3\n00:00:13,000 --> 00:00:13,900\n影片到这里就结束了，谢谢观看。\n\n")
        .arg(First, Second);
}

// Rows of the frame's left edge that show picture rather than black bars (subtitles are drawn
// centred, into the lower bar).
int pictureRows(const QImage &frame)
{
    int rows = 0;
    for (int y = 0; y < frame.height(); ++y)
        rows += qGray(frame.pixel(4, y)) > 40;
    return rows;
}

// Near-white pixels: subtitle letters on the grey clip.
int whitePixels(const QImage &frame)
{
    int count = 0;
    for (int y = 0; y < frame.height(); y += 2) {
        for (int x = 0; x < frame.width(); x += 2)
            count += qGray(frame.pixel(x, y)) > 225;
    }
    return count;
}

} // namespace

class TestPictureSoundOnEngine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { std::setlocale(LC_NUMERIC, "C"); } // as libmpv requires
    void choicesShowInThePictureAndTheSubtitles();

private:
    QString subtitleText() const { return MpvAccess(m_engine->handle()).string("sub-text"); }
    QImage frame() const { return m_video->grab().toImage(); }
    bool showsAt(int ms, const QString &text);

    MpvPlayerEngine *m_engine = nullptr;
    MpvVideoWidget *m_video = nullptr;
};

bool TestPictureSoundOnEngine::showsAt(int ms, const QString &text)
{
    m_engine->setPosition(ms);
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < Wait) {
        if (qAbs(m_engine->position() - ms) <= 40 && subtitleText() == text)
            return true;
        QTest::qWait(50);
    }
    qWarning("at %d ms: \"%s\"", m_engine->position(), qPrintable(subtitleText()));
    return false;
}

void TestPictureSoundOnEngine::choicesShowInThePictureAndTheSubtitles()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        QSKIP("needs an X display with OpenGL");
    QTemporaryDir dir;
    QVERIFY(QDir::setCurrent(dir.path())); // choices stored by an earlier run must not count
    const QString clip = QDir(dir.path()).filePath(QStringLiteral("grey.mp4"));
    QVERIFY(!EngineTestMedia::makeClipFrom(dir.path(), QStringLiteral("grey.mp4"), 14,
                                           QStringLiteral("color=c=0x808080:size=320x180:rate=25:duration=14"))
                 .isEmpty());
    // Chinese letters and a blank in the name; UTF-8 and GB18030 contents; a file that is no subtitle.
    const QDir here(dir.path());
    const QString utf8 = here.filePath(QStringLiteral("中文 字幕.srt"));
    const QString gb = here.filePath(QStringLiteral("gb.srt"));
    const QString ass = here.filePath(QStringLiteral("特效.ass"));
    const QString broken = here.filePath(QStringLiteral("broken.srt"));
    QVERIFY(writeFile(utf8, srt().toUtf8()) && writeFile(broken, QByteArray(4096, '\xff'))
            && writeFile(gb, QTextCodec::codecForName("GB18030")->fromUnicode(srt())));
    QVERIFY(writeFile(ass, QStringLiteral("[Script Info]\nScriptType: v4.00+\nPlayResX: 320\nPlayResY: 180\n\n"
                                          "[V4+ Styles]\nFormat: Name, Fontname, Fontsize, PrimaryColour\n"
                                          "Style: Default,sans-serif,20,&H00FFFFFF\n\n[Events]\n"
                                          "Format: Layer, Start, End, Style, Text\n"
                                          "Dialogue: 0,0:00:02.00,0:00:04.00,Default,{\\b1}%1\n")
                               .arg(First)
                               .toUtf8()));

    MpvPlayerEngine engine(MpvPlayerEngine::VideoOutput); // no sound device
    QVERIFY2(engine.isValid(), qPrintable(engine.errorString()));
    m_engine = &engine;
    // Like the main window: a start page in front, the video on a page shown only once open; its
    // renderer must be made before loading all the same.
    QStackedWidget pages;
    pages.addWidget(new QLabel(QStringLiteral("start")));
    m_video = new MpvVideoWidget(&engine);
    pages.addWidget(m_video);
    pages.resize(480, 360); // 4:3, so a 16:9 picture has bars above and below
    pages.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pages));
    bool rendererAtOpen = false;
    connect(&engine, &PlayerEngine::openSucceeded, this, [&] {
        rendererAtOpen = m_video->hasRenderer();
        pages.setCurrentIndex(1);
    });
    PlaybackController playback;
    playback.attachEngine(&engine);
    PictureSoundOptions *options = playback.pictureSound();
    SubtitleOptions *subtitles = playback.subtitles();
    const auto openPaused = [&] {
        engine.open(clip);
        QTRY_COMPARE_WITH_TIMEOUT(engine.state(), int(PlayerEngine::Playing), Wait);
        engine.pause();
        QVERIFY(playback.isMediaOpen());
    };

    // Chosen before the open, loaded by it.
    subtitles->setFilePath(utf8);
    openPaused();
    QVERIFY(rendererAtOpen);
    QCOMPARE(engine.config(PlayerEngine::SubtitleFile), utf8);
    QVERIFY(showsAt(2500, First));
    QTRY_VERIFY_WITH_TIMEOUT(whitePixels(frame()) > 30, Wait);
    const QImage upright = frame(); // the subtitle in the lower half
    QCOMPARE(whitePixels(upright.copy(0, 0, upright.width(), upright.height() / 2)), 0);
    subtitles->setShown(false); // "关闭"
    QTRY_COMPARE_WITH_TIMEOUT(whitePixels(frame()), 0, Wait);
    subtitles->setShown(true);
    // Due at 10.5 s: not yet at 10.1 s, but shown there once 500 ms earlier.
    QVERIFY(showsAt(10100, QString()));
    subtitles->setDelayMilliseconds(QStringLiteral("500"));
    subtitles->setDelayMode(SubtitleOptions::Earlier);
    QVERIFY(showsAt(10000, Second));

    // Aspect ratio and brightness change what is drawn.
    QTRY_VERIFY2_WITH_TIMEOUT(qAbs(pictureRows(frame()) - 270) <= 3, qPrintable(QString::number(pictureRows(frame()))), Wait);
    options->choose4To3AspectRatio();
    QTRY_VERIFY_WITH_TIMEOUT(pictureRows(frame()) >= 356, Wait);
    options->choose16To9AspectRatio();
    QTRY_VERIFY_WITH_TIMEOUT(qAbs(pictureRows(frame()) - 270) <= 3, Wait);
    subtitles->setShown(false);
    const QPoint middle(240, 120);
    const int grey = qGray(frame().pixel(middle));
    options->setBrightness(100);
    QTRY_VERIFY_WITH_TIMEOUT(qGray(frame().pixel(middle)) > grey + 40, Wait);
    options->restoreDefaultColours();
    QTRY_VERIFY_WITH_TIMEOUT(qAbs(qGray(frame().pixel(middle)) - grey) <= 3, Wait);
    subtitles->setShown(true);

    // Other files into the open video: ASS in UTF-8, and SRT in GB18030, whose code page the
    // engine has to find by itself.
    subtitles->setDelayMode(SubtitleOptions::NoDelay);
    for (const QString &file : {ass, gb}) {
        subtitles->setFilePath(file);
        QCOMPARE(engine.config(PlayerEngine::SubtitleFile), file);
        QVERIFY2(showsAt(2500, First), qPrintable(file));
    }
    QVERIFY(showsAt(10600, Second));

    // A file the engine cannot read: nothing loaded, and the adjustments are not sent.
    engine.close();
    QTRY_COMPARE_WITH_TIMEOUT(engine.state(), int(PlayerEngine::Ready), Wait);
    subtitles->setFilePath(broken);
    openPaused();
    QCOMPARE(engine.config(PlayerEngine::SubtitleFile), QString());
    const QString placement = engine.config(PlayerEngine::SubtitlePlacement);
    subtitles->moveUp();
    subtitles->setDelayMode(SubtitleOptions::Later);
    subtitles->setDelayMilliseconds(QStringLiteral("300"));
    QCOMPARE(engine.config(PlayerEngine::SubtitlePlacement), placement);
    QCOMPARE(engine.config(PlayerEngine::SubtitleDelay), QStringLiteral("0;1000;1000"));
    engine.close();
    QTRY_COMPARE_WITH_TIMEOUT(engine.state(), int(PlayerEngine::Ready), Wait);

    // An aspect chosen while nothing plays holds for the next open.
    options->choose4To3AspectRatio();
    playback.open(clip);
    QTRY_COMPARE_WITH_TIMEOUT(engine.state(), int(PlayerEngine::Playing), Wait);
    engine.pause();
    QTRY_VERIFY2_WITH_TIMEOUT(pictureRows(frame()) >= 356, qPrintable(QString::number(pictureRows(frame()))), Wait);
    options->choose16To9AspectRatio();
    engine.close();
    QTRY_COMPARE_WITH_TIMEOUT(engine.state(), int(PlayerEngine::Ready), Wait);
}

QTEST_MAIN(TestPictureSoundOnEngine)
#include "tst_PictureSoundOnEngine.moc"
