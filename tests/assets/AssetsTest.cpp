#include "app/ui/GuiResources.h"

#include <QApplication>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QTextStream>
#include <QtTest>

namespace {

struct IndexedImage {
    QString path;
    QSize size;
};

QList<IndexedImage> readIndex()
{
    QList<IndexedImage> images;
    QFile file(QStringLiteral(PELORIN_ASSET_INDEX));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return images;
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QStringList fields = in.readLine().split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (fields.size() == 3)
            images.append({fields[0], QSize(fields[1].toInt(), fields[2].toInt())});
    }
    return images;
}

bool hasVisiblePixels(const QImage &image)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y)
        for (int x = 0; x < argb.width(); ++x)
            if (qAlpha(argb.pixel(x, y)) > 0)
                return true;
    return false;
}

// The images that the windows' style sheets name; other code relies on every one of them.
const char *const requiredImages[] = {
    ":/MainWindow/Resources/Logo.ico",
    ":/MainWindow/TitleBar/Logo.png",
    ":/MainWindow/TitleBar/TopmostPushButton_No.png",
    ":/MainWindow/TitleBar/TopmostPushButton_Yes.png",
    ":/MainWindow/TitleBar/NewbieTutorialPushButton_Normal.png",
    ":/MainWindow/TitleBar/PlayRecordPushButton_Normal.png",
    ":/MainWindow/TitleBar/UserPushButton_Normal.png",
    ":/MainWindow/TitleBar/MinimizePushButton_Normal.png",
    ":/MainWindow/TitleBar/MaximizePushButton_Normal.png",
    ":/MainWindow/TitleBar/ClosePushButton_Normal.png",
    ":/MainWindow/NormalPage/Logo.png",
    ":/MainWindow/NormalPage/OpenURL.png",
    ":/MainWindow/NormalPage/OpenBT.png",
    ":/MainWindow/ToolBar/StartPlayPushButton_Normal.png",
    ":/MainWindow/ToolBar/PausePlayPushButton_Normal.png",
    ":/MainWindow/ToolBar/StopPlayPushButton_Normal.png",
    ":/MainWindow/ToolBar/MuteSwitchPushButton_Off.png",
    ":/MainWindow/ToolBar/MuteSwitchPushButton_On.png",
    ":/MainWindow/ToolBar/DownloadBTResourcePushButton_Normal.png",
    ":/MainWindow/ToolBar/CollectBTResourcePushButton_Normal.png",
    ":/MainWindow/ToolBar/OpenURLPushButton_Normal.png",
    ":/MainWindow/ToolBar/FullScreenPushButton_Normal.png",
    ":/MainWindow/ToolBar/PlayProgressSliderHandle.png",
    ":/BTResourceFunctionDialog/Resources/Logo.ico",
    ":/BTResourceFunctionDialog/ParsePage/ClosePushButton_Normal.png",
    ":/BTResourceFunctionDialog/ParsePage/EngineComboBoxDownArrow.png",
    ":/BTResourceParseResultListItemWidget/ReloadPushButton_Normal.png",
    ":/BTResourceParseResultListItemWidget/DownloadPushButton_Normal.png",
    ":/BTResourceParseResultListItemWidget/PlayPushButton_Normal.png",
    ":/BTResourceFunctionDialog/PlayRecordPage/ClosePushButton_Normal.png",
    ":/BTResourceFunctionDialog/PlayRecordPage/RandomPlayPushButton_Normal.png",
    ":/BTResourceFunctionDialog/PlayRecordPage/FlushRecordListPushButton_Normal.png",
    ":/BTResourceFunctionDialog/PlayRecordPage/ClearRecordListPushButton_Normal.png",
    ":/BTResourcePlayRecordListItemWidget/PlayPushButton_Normal.png",
    ":/BTResourcePlayRecordListItemWidget/DeletePushButton_Normal.png",
    ":/BTResourceFunctionDialog/CollectionPage/ClosePushButton_Normal.png",
    ":/BTResourceFunctionDialog/CollectionPage/collectCurrentPlayingResourcePushButton_Normal.png",
    ":/BTResourceFunctionDialog/CollectionPage/FlushCollectionListPushButton_Normal.png",
    ":/BTResourceCollectionListItemWidget/PlayPushButton_Normal.png",
    ":/BTResourceCollectionListItemWidget/CopyURLPushButton_Normal.png",
    ":/BTResourceCollectionListItemWidget/DeletePushButton_Normal.png",
    ":/BTResourceFunctionDialog/DownloadPage/ClosePushButton_Normal.png",
    ":/BTResourceDwonloadListItemWidget/DeletePushButton_Normal.png",
    ":/SubtitleSettingDialog/ClosePushButton_Normal.png",
    ":/SubtitleSettingDialog/SubtitleMoveUpPushButton_Normal.png",
    ":/SubtitleSettingDialog/SubtitleMoveDownPushButton_Normal.png",
    ":/SubtitleSettingDialog/SubtitleMoveLeftPushButton_Normal.png",
    ":/SubtitleSettingDialog/SubtitleMoveRightPushButton_Normal.png",
    ":/SubtitleSettingDialog/Word.png",
    ":/SubtitleSettingDialog/ComboBoxDownArrow.png",
    ":/SettingsDialog/ClosePushButton_Normal.png",
    ":/Resources/Logo.ico",
    ":/AccountFunctionDialog/LoginPage/ClosePushButton_Normal.png",
    ":/AccountFunctionDialog/MiscPage/ClosePushButton_Normal.png",
    ":/AccountFunctionDialog/SignUpPage/ReturnPushButton_Normal.png",
    ":/AccountFunctionDialog/RetrievePasswordPage/ReturnPushButton_Normal.png",
    ":/AccountFunctionDialog/ModifyPasswordPage/ReturnPushButton_Normal.png",
    ":/TanChuangDialog/ClosePushButton_Normal.png",
    ":/TanChuangDialog/NextPagePushButton_Normal.png",
    ":/TanChuangDialog/PreviousPagePushButton_Normal.png",
    ":/VIPTipDialog/Background.png",
};

} // namespace

class AssetsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void everyCompiledImageLoadsAtItsSize();
    void buttonStatesDiffer();
    void windowsFindTheirImages();
    void sourcesNameOnlyExistingImages();
    void styleSheetsDrawTheImages();
    void highDpiScreensGetDoubleImages();
};

void AssetsTest::initTestCase()
{
    initGuiResources();
}

void AssetsTest::everyCompiledImageLoadsAtItsSize()
{
    const QList<IndexedImage> images = readIndex();
    QVERIFY2(images.size() > 100, "image index missing or short");
    for (const IndexedImage &entry : images) {
        const QString path = QStringLiteral(":/") + entry.path;
        QImageReader reader(path);
        const QImage image = reader.read();
        QVERIFY2(!image.isNull(), qPrintable(path + QStringLiteral(": ") + reader.errorString()));
        QVERIFY2(hasVisiblePixels(image), qPrintable(path));
        if (path.endsWith(QLatin1String(".ico"))) {
            // Every size from 16 to 256 px, each readable, the window manager picks one.
            QImageReader icon(path);
            QCOMPARE(icon.imageCount(), 7);
            QList<int> sides;
            for (int i = 0; i < icon.imageCount(); ++i) {
                QVERIFY(icon.jumpToImage(i));
                const QImage frame = icon.read();
                QVERIFY2(!frame.isNull(), qPrintable(path));
                QCOMPARE(frame.width(), frame.height());
                sides.append(frame.width());
            }
            QCOMPARE(sides, (QList<int>{16, 24, 32, 48, 64, 128, 256}));
        } else {
            QVERIFY2(image.size() == entry.size, qPrintable(path));
        }
        if (path.contains(QLatin1Char('@'))) {
            // A high-DPI image has its plain sibling at half the size.
            QString plain = path;
            plain.remove(QStringLiteral("@2x"));
            QCOMPARE(QImage(plain).size() * 2, image.size());
        }
    }
}

void AssetsTest::buttonStatesDiffer()
{
    int triples = 0;
    for (const IndexedImage &entry : readIndex()) {
        if (!entry.path.endsWith(QLatin1String("_Normal.png")))
            continue;
        const QString base = QStringLiteral(":/") + entry.path.chopped(int(qstrlen("_Normal.png")));
        const QImage normal(base + QStringLiteral("_Normal.png"));
        const QImage hover(base + QStringLiteral("_Hover.png"));
        const QImage pressed(base + QStringLiteral("_Pressed.png"));
        QVERIFY2(!hover.isNull() && !pressed.isNull(), qPrintable(base));
        QVERIFY2(normal != hover && hover != pressed && normal != pressed, qPrintable(base));
        ++triples;
    }
    QVERIFY(triples >= 40);
}

void AssetsTest::windowsFindTheirImages()
{
    for (const char *name : requiredImages) {
        const QString path = QString::fromLatin1(name);
        QVERIFY2(QFile::exists(path), qPrintable(path + QStringLiteral(" missing")));
        if (path.endsWith(QLatin1String("_Normal.png"))) {
            for (const char *state : {"_Hover.png", "_Pressed.png"}) {
                const QString sibling = path.chopped(int(qstrlen("_Normal.png"))) + QLatin1String(state);
                QVERIFY2(QFile::exists(sibling), qPrintable(sibling + QStringLiteral(" missing")));
            }
        }
    }
}

void AssetsTest::sourcesNameOnlyExistingImages()
{
    // Style sheets live in forms and code written elsewhere; a misspelt image path there renders
    // as an empty button without any message, so every literal resource image must resolve.
    static const QRegularExpression resourceImage(QStringLiteral(":/[A-Za-z0-9_/.@-]+\\.(?:png|ico)"));
    QSet<QString> missing;
    int files = 0, references = 0;
    for (const char *folder : {"app", "shell", "account", "notices", "resources", "player", "forms"}) {
        QDirIterator it(QStringLiteral(PELORIN_SOURCE_DIR "/") + QLatin1String(folder),
                        {QStringLiteral("*.ui"), QStringLiteral("*.cpp"), QStringLiteral("*.h")},
                        QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
            ++files;
            const QString text = QString::fromUtf8(file.readAll());
            auto matches = resourceImage.globalMatch(text);
            while (matches.hasNext()) {
                const QString path = matches.next().captured(0);
                ++references;
                if (!QFile::exists(path))
                    missing.insert(QFileInfo(file.fileName()).fileName() + QStringLiteral(": ") + path);
            }
        }
    }
    QVERIFY(files > 0);
    qInfo("%d resource image references in %d files", references, files);
    QStringList list = missing.values();
    list.sort();
    QVERIFY2(missing.isEmpty(), qPrintable(list.join(QStringLiteral("\n"))));
}

void AssetsTest::styleSheetsDrawTheImages()
{
    // The buttons as the windows style them: the normal image must appear on screen, and the text
    // of the dialog tabs must sit clear of their glyph.
    struct Sample {
        QString image;
        QSize size;
        QString text;
        QColor background;
    };
    const QColor bar(22, 33, 41), light(247, 247, 247), notice(22, 143, 234), page(28, 40, 49);
    QList<Sample> samples;
    for (const IndexedImage &entry : readIndex()) {
        if (entry.path.contains(QLatin1Char('@')) || entry.path.endsWith(QLatin1String(".ico")))
            continue;
        QColor background = light;
        if (entry.path.startsWith(QLatin1String("MainWindow/NormalPage")))
            background = page;
        else if (entry.path.startsWith(QLatin1String("MainWindow")) || entry.path.contains(QLatin1String("OnDark")))
            background = bar;
        else if (entry.path.startsWith(QLatin1String("TanChuangDialog/Close")))
            background = notice;
        QString text;
        if (entry.path.contains(QLatin1String("Page/ClosePushButton"))
            || entry.path.contains(QLatin1String("Dialog/ClosePushButton")))
            text = QStringLiteral("    关闭");
        if (entry.path.contains(QLatin1String("ReturnPushButton")))
            text = QStringLiteral("    返回");
        if (entry.path.startsWith(QLatin1String("MainWindow/TitleBar/Close"))
            || entry.path.startsWith(QLatin1String("TanChuangDialog/Close")))
            text.clear();
        samples.append({entry.path, entry.size, text, background});
    }

    QList<QImage> shots;
    for (const Sample &sample : samples) {
        QWidget host;
        host.setAutoFillBackground(true);
        QPalette palette = host.palette();
        palette.setColor(QPalette::Window, sample.background);
        host.setPalette(palette);
        host.resize(qMax(40, sample.size.width() + 12), qMax(40, sample.size.height() + 12));
        QPushButton button(sample.text, &host);
        button.setStyleSheet(QStringLiteral("QPushButton{ border-image: url(:/%1); color: rgb(229, 229, 229); }")
                                 .arg(sample.image));
        button.setGeometry(QRect(QPoint((host.width() - sample.size.width()) / 2,
                                        (host.height() - sample.size.height()) / 2), sample.size));
        int textLeft = sample.size.width();
        if (!sample.text.isEmpty()) {
            // The text starts right of the glyph, which ends 19 px in.
            const QFontMetrics metrics(button.font());
            textLeft = (sample.size.width() - metrics.horizontalAdvance(sample.text)) / 2
                       + metrics.horizontalAdvance(QStringLiteral("    "));
            QVERIFY2(textLeft >= 20, qPrintable(sample.image + QStringLiteral(" text at %1").arg(textLeft)));
        }
        const QImage shot = host.grab().toImage();
        const QImage drawn = shot.copy(button.geometry());
        const QImage expected = QImage(QStringLiteral(":/") + sample.image).convertToFormat(QImage::Format_ARGB32);
        // Left of any text, the screen shows the image over the background, pixel for pixel.
        int compared = 0;
        for (int y = 0; y < expected.height(); ++y)
            for (int x = 0; x < qMin(expected.width(), textLeft - 1); ++x) {
                const QRgb want = expected.pixel(x, y);
                const int a = qAlpha(want);
                if (a == 0)
                    continue;
                const QColor got(drawn.pixel(x, y));
                const QColor &under = sample.background;
                auto blend = [a](int top, int bottom) { return (top * a + bottom * (255 - a)) / 255; };
                const int error = qMax(qMax(qAbs(got.red() - blend(qRed(want), under.red())),
                                            qAbs(got.green() - blend(qGreen(want), under.green()))),
                                       qAbs(got.blue() - blend(qBlue(want), under.blue())));
                QVERIFY2(error <= 3, qPrintable(sample.image + QStringLiteral(" at %1,%2").arg(x).arg(y)));
                ++compared;
            }
        QVERIFY2(compared > 0, qPrintable(sample.image));
        shots.append(shot);
    }

    // Contact sheet of every image on its own background, for a look by eye.
    const QString sheetPath = qEnvironmentVariable("PELORIN_ASSET_SHEET");
    if (sheetPath.isEmpty())
        return;
    const int sheetWidth = 1000;
    QList<QPoint> places;
    int x = 0, y = 0, rowHeight = 0;
    for (const QImage &shot : shots) {
        if (x + shot.width() > sheetWidth) {
            x = 0;
            y += rowHeight + 4;
            rowHeight = 0;
        }
        places.append(QPoint(x, y));
        x += shot.width() + 4;
        rowHeight = qMax(rowHeight, shot.height());
    }
    QImage sheet(sheetWidth, y + rowHeight, QImage::Format_ARGB32);
    sheet.fill(QColor(90, 90, 90));
    QPainter painter(&sheet);
    for (int i = 0; i < shots.size(); ++i)
        painter.drawImage(places[i], shots[i]);
    painter.end();
    QVERIFY(sheet.save(sheetPath));
}
void AssetsTest::highDpiScreensGetDoubleImages()
{
    // Run a second time with QT_SCALE_FACTOR=2: style sheets then pick the @2x files by themselves.
    QWidget host;
    host.resize(40, 40);
    QPalette palette = host.palette();
    palette.setColor(QPalette::Window, QColor(22, 33, 41));
    host.setPalette(palette);
    host.setAutoFillBackground(true);
    QPushButton button(&host);
    button.setGeometry(6, 6, 28, 28);
    button.setStyleSheet(QStringLiteral("QPushButton{ border-image: url(:/MainWindow/TitleBar/UserPushButton_Normal.png); }"));
    const QPixmap shot = host.grab();
    if (shot.devicePixelRatio() < 2)
        QSKIP("needs a device pixel ratio of 2");
    const QImage drawn = shot.toImage().copy(12, 12, 56, 56);
    const QImage expected = QImage(QStringLiteral(":/MainWindow/TitleBar/UserPushButton_Normal@2x.png"))
                                .convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(expected.size(), QSize(56, 56));
    int worst = 0;
    for (int y = 0; y < 56; ++y)
        for (int x = 0; x < 56; ++x) {
            const QRgb want = expected.pixel(x, y);
            const int a = qAlpha(want);
            const int blended = (qRed(want) * a + 22 * (255 - a)) / 255;
            worst = qMax(worst, qAbs(qRed(drawn.pixel(x, y)) - blended));
        }
    QVERIFY2(worst <= 3, qPrintable(QStringLiteral("largest difference %1").arg(worst)));
}

QTEST_MAIN(AssetsTest)
#include "AssetsTest.moc"
