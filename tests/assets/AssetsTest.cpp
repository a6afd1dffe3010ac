#include "app/ui/GuiResources.h"

#include <QApplication>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpression>
#include <QTextStream>
#include <QtTest>

#include <algorithm>

namespace {

// The compiled images and their sizes, as the asset build lists them.
QMap<QString, QSize> readIndex()
{
    QMap<QString, QSize> images;
    QFile file(QStringLiteral(PELORIN_ASSET_INDEX));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return images;
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QStringList fields = in.readLine().split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (fields.size() == 3)
            images.insert(QStringLiteral(":/") + fields[0], QSize(fields[1].toInt(), fields[2].toInt()));
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

// A button styled as the windows style theirs, with the image as its border image, on a host
// of the given background; returns the button's part of the host's picture.
QImage drawStyledButton(const QString &image, const QSize &size, const QString &text, const QColor &background,
                        QImage *wholeShot = nullptr)
{
    QWidget host;
    host.setAutoFillBackground(true);
    QPalette palette = host.palette();
    palette.setColor(QPalette::Window, background);
    host.setPalette(palette);
    host.resize(qMax(40, size.width() + 12), qMax(40, size.height() + 12));
    QPushButton button(text, &host);
    button.setStyleSheet(QStringLiteral("QPushButton{ border-image: url(%1); color: rgb(229, 229, 229); }").arg(image));
    button.setGeometry(QRect(QPoint((host.width() - size.width()) / 2, (host.height() - size.height()) / 2), size));
    const QPixmap shot = host.grab();
    if (wholeShot)
        *wholeShot = shot.toImage();
    const qreal ratio = shot.devicePixelRatio();
    return shot.toImage().copy(QRect(button.geometry().topLeft() * ratio, size * ratio));
}

// The largest colour difference between what was drawn and the image over the background, in the
// columns left of `columns`; *compared counts the pixels that had something to show.
int worstDifference(const QImage &drawn, const QImage &image, const QColor &under, int columns, int *compared)
{
    const QImage expected = image.convertToFormat(QImage::Format_ARGB32);
    int worst = 0;
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < qMin(expected.width(), columns); ++x) {
            const QRgb want = expected.pixel(x, y);
            const int a = qAlpha(want);
            if (a == 0)
                continue;
            const QColor got(drawn.pixel(x, y));
            auto blend = [a](int top, int bottom) { return (top * a + bottom * (255 - a)) / 255; };
            worst = std::max({worst, qAbs(got.red() - blend(qRed(want), under.red())),
                          qAbs(got.green() - blend(qGreen(want), under.green())),
                          qAbs(got.blue() - blend(qBlue(want), under.blue()))});
            ++*compared;
        }
    return worst;
}

} // namespace

class AssetsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void everyCompiledImageLoadsAtItsSize();
    void sourcesNameOnlyCompiledImages();
    void styleSheetsDrawTheImages();
    void highDpiScreensGetDoubleImages();

private:
    QMap<QString, QSize> m_index;
};

void AssetsTest::initTestCase()
{
    initGuiResources();
    m_index = readIndex();
    QVERIFY2(m_index.size() > 100, "image index missing or short");
}

void AssetsTest::everyCompiledImageLoadsAtItsSize()
{
    int buttons = 0;
    for (auto entry = m_index.cbegin(); entry != m_index.cend(); ++entry) {
        const QString &path = entry.key();
        QImageReader reader(path);
        const QImage image = reader.read();
        QVERIFY2(!image.isNull(), qPrintable(path + QStringLiteral(": ") + reader.errorString()));
        QVERIFY2(hasVisiblePixels(image), qPrintable(path));
        // An icon holds several sizes; the first need not be the listed one.
        QVERIFY2(path.endsWith(QLatin1String(".ico")) || image.size() == entry.value(), qPrintable(path));
        if (path.contains(QLatin1Char('@'))) {
            // A high-DPI image has its plain sibling at half the size.
            QCOMPARE(QImage(QString(path).remove(QStringLiteral("@2x"))).size() * 2, image.size());
        }
        if (path.endsWith(QLatin1String("_Normal.png"))) {
            // Buttons show three different states.
            const QString base = path.chopped(int(qstrlen("_Normal.png")));
            const QImage hover(base + QStringLiteral("_Hover.png"));
            const QImage pressed(base + QStringLiteral("_Pressed.png"));
            QVERIFY2(!hover.isNull() && !pressed.isNull(), qPrintable(base));
            QVERIFY2(image != hover && hover != pressed && image != pressed, qPrintable(base));
            ++buttons;
        }
    }
    QVERIFY(buttons >= 40);
}

void AssetsTest::sourcesNameOnlyCompiledImages()
{
    // Style sheets live in forms and code; a misspelt image path there renders as an empty button
    // without any message, so every literal resource image must be one of the compiled images
    // (which the test above loads at their sizes).
    static const QRegularExpression resourceImage(QStringLiteral(":/[A-Za-z0-9_/.@-]+\\.(?:png|ico)"));
    QStringList missing;
    int files = 0, references = 0;
    for (const char *folder : {"app", "shell", "account", "notices", "resources", "player", "forms"}) {
        QDirIterator it(QStringLiteral(PELORIN_SOURCE_DIR "/") + QLatin1String(folder),
                        {QStringLiteral("*.ui"), QStringLiteral("*.cpp"), QStringLiteral("*.h")},
                        QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
            ++files;
            auto matches = resourceImage.globalMatch(QString::fromUtf8(file.readAll()));
            while (matches.hasNext()) {
                const QString path = matches.next().captured(0);
                ++references;
                if (!m_index.contains(path) || !QFile::exists(path))
                    missing << it.fileName() + QStringLiteral(": ") + path;
            }
        }
    }
    QVERIFY(references > 100);
    qInfo("%d resource image references in %d files", references, files);
    missing.removeDuplicates();
    QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QLatin1Char('\n'))));
}

void AssetsTest::styleSheetsDrawTheImages()
{
    // Every image as a button's border image: it must appear on screen pixel for pixel.
    const QColor bar(22, 33, 41), light(247, 247, 247), notice(22, 143, 234), page(28, 40, 49);
    QList<QImage> shots;
    for (auto entry = m_index.cbegin(); entry != m_index.cend(); ++entry) {
        const QString path = entry.key().mid(2);
        if (path.contains(QLatin1Char('@')) || path.endsWith(QLatin1String(".ico")))
            continue;
        QColor background = light;
        if (path.startsWith(QLatin1String("MainWindow/NormalPage")))
            background = page;
        else if (path.startsWith(QLatin1String("MainWindow")) || path.contains(QLatin1String("OnDark")))
            background = bar;
        else if (path.startsWith(QLatin1String("TanChuangDialog/Close")))
            background = notice;
        const QSize size = entry.value();
        QImage shot;
        const QImage drawn = drawStyledButton(entry.key(), size, QString(), background, &shot);
        int compared = 0;
        const int worst = worstDifference(drawn, QImage(entry.key()), background, size.width(), &compared);
        QVERIFY2(worst <= 3 && compared > 0, qPrintable(path + QStringLiteral(": difference %1").arg(worst)));
        shots.append(shot);
    }

    // Contact sheet of every image on its own background, for a look by eye (tools/asset-sheet).
    const QString sheetPath = qEnvironmentVariable("PELORIN_ASSET_SHEET");
    if (sheetPath.isEmpty())
        return;
    QList<QPoint> places;
    int x = 0, y = 0, rowHeight = 0;
    for (const QImage &shot : shots) {
        if (x + shot.width() > 1000) {
            x = 0;
            y += rowHeight + 4;
            rowHeight = 0;
        }
        places.append(QPoint(x, y));
        x += shot.width() + 4;
        rowHeight = qMax(rowHeight, shot.height());
    }
    QImage sheet(1000, y + rowHeight, QImage::Format_ARGB32);
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
    const QColor bar(22, 33, 41);
    const QImage drawn = drawStyledButton(QStringLiteral(":/MainWindow/TitleBar/UserPushButton_Normal.png"),
                                          QSize(28, 28), QString(), bar);
    if (drawn.width() < 56)
        QSKIP("needs a device pixel ratio of 2");
    const QImage expected(QStringLiteral(":/MainWindow/TitleBar/UserPushButton_Normal@2x.png"));
    int compared = 0;
    const int worst = worstDifference(drawn, expected, bar, 56, &compared);
    QVERIFY2(worst <= 3 && compared > 0, qPrintable(QStringLiteral("largest difference %1").arg(worst)));
}

QTEST_MAIN(AssetsTest)
#include "AssetsTest.moc"
