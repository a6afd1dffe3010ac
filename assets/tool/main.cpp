// Build-time renderer of the program's images.
//
// Reads the manifest (assets.txt), renders every listed SVG source with the colours of its palette
// and writes the PNG and ICO files together with a .qrc that lists them and an index of
// "resource-path width height" lines for the tests.
//
// Usage: pelorin_assetgen <manifest> <svg-dir> <out-dir> <qrc-file> <index-file>

#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSvgRenderer>
#include <QTextStream>
#include <QtEndian>

#include <cstdio>

namespace {

using Palette = QHash<QString, QString>; // token -> value, per state

struct Entry {
    QString kind;       // states | single | ico | file | svg
    QString svg;
    QSize size;
    QString palette;
    QString path;       // resource path (states: without the _State.png suffix)
    QString state = QStringLiteral("normal");
    QSize glyph;        // drawn at this size, centred on the canvas; empty = whole canvas
    int rotate = 0;
    bool hidpi = true;
    bool inQrc = true;
};

struct Output {
    QString path;
    QSize size;
    bool inQrc;
};

[[noreturn]] void fail(const QString &message)
{
    std::fprintf(stderr, "pelorin_assetgen: %s\n", qPrintable(message));
    std::exit(1);
}

QSize parseSize(const QString &text, int line)
{
    const QStringList parts = text.split(QLatin1Char('x'));
    bool okW = false, okH = false;
    const QSize size = parts.size() == 2 ? QSize(parts[0].toInt(&okW), parts[1].toInt(&okH)) : QSize();
    if (!okW || !okH || size.isEmpty())
        fail(QStringLiteral("line %1: bad size '%2'").arg(line).arg(text));
    return size;
}

void readManifest(const QString &fileName, QHash<QString, Palette> &palettes, QList<Entry> &entries)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        fail(QStringLiteral("cannot read %1").arg(fileName));
    QTextStream in(&file);
    in.setCodec("UTF-8");
    int lineNumber = 0;
    while (!in.atEnd()) {
        ++lineNumber;
        const QString line = in.readLine().trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (words[0] == QLatin1String("palette")) {
            // palette <name> <state> key=value ...
            if (words.size() < 3)
                fail(QStringLiteral("line %1: palette needs a name and a state").arg(lineNumber));
            Palette &p = palettes[words[1] + QLatin1Char(':') + words[2]];
            for (int i = 3; i < words.size(); ++i)
                p.insert(words[i].section(QLatin1Char('='), 0, 0), words[i].section(QLatin1Char('='), 1));
            continue;
        }
        // <kind> <svg> <WxH> <palette> <resource-path> [option=value ...]
        if (words.size() < 5)
            fail(QStringLiteral("line %1: too few fields").arg(lineNumber));
        Entry e;
        e.kind = words[0];
        e.svg = words[1];
        e.size = parseSize(words[2], lineNumber);
        e.palette = words[3];
        e.path = words[4];
        if (e.kind != QLatin1String("states") && e.kind != QLatin1String("single"))
            e.hidpi = false;
        for (int i = 5; i < words.size(); ++i) {
            const QString key = words[i].section(QLatin1Char('='), 0, 0);
            const QString value = words[i].section(QLatin1Char('='), 1);
            if (key == QLatin1String("state"))
                e.state = value;
            else if (key == QLatin1String("glyph"))
                e.glyph = parseSize(value, lineNumber);
            else if (key == QLatin1String("rotate"))
                e.rotate = value.toInt();
            else if (key == QLatin1String("hidpi"))
                e.hidpi = value != QLatin1String("0");
            else if (key == QLatin1String("qrc"))
                e.inQrc = value != QLatin1String("0");
            else
                fail(QStringLiteral("line %1: unknown option '%2'").arg(lineNumber).arg(key));
        }
        static const QStringList kinds = {QStringLiteral("states"), QStringLiteral("single"),
                                          QStringLiteral("ico"), QStringLiteral("file"),
                                          QStringLiteral("svg")};
        if (!kinds.contains(e.kind))
            fail(QStringLiteral("line %1: unknown kind '%2'").arg(lineNumber).arg(e.kind));
        entries.append(e);
    }
}

// Replaces every @token@ of the palette; an unknown token left in the text is an error, so a typo
// in a source never renders silently in black.
QByteArray applyPalette(QByteArray svg, const Palette &palette, const QString &what)
{
    for (auto it = palette.cbegin(); it != palette.cend(); ++it)
        svg.replace('@' + it.key().toUtf8() + '@', it.value().toUtf8());
    const int at = svg.indexOf('@');
    if (at >= 0 && svg.indexOf('@', at + 1) > at)
        fail(QStringLiteral("%1: token without a value near '%2'")
                 .arg(what, QString::fromUtf8(svg.mid(at, 24))));
    return svg;
}

QImage render(const QByteArray &svg, const QSize &canvas, const QSize &glyph, int rotate,
              const QString &what)
{
    QSvgRenderer renderer(svg);
    if (!renderer.isValid())
        fail(QStringLiteral("%1: not a valid SVG").arg(what));
    renderer.setAspectRatioMode(Qt::KeepAspectRatio);
    QImage image(canvas, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform
                           | QPainter::TextAntialiasing);
    if (rotate) {
        painter.translate(canvas.width() / 2.0, canvas.height() / 2.0);
        painter.rotate(rotate);
        painter.translate(-canvas.width() / 2.0, -canvas.height() / 2.0);
    }
    QRectF bounds(QPointF(0, 0), canvas);
    if (!glyph.isEmpty())
        bounds = QRectF(QPointF((canvas.width() - glyph.width()) / 2.0,
                                (canvas.height() - glyph.height()) / 2.0), glyph);
    renderer.render(&painter, bounds);
    painter.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

void writePng(const QImage &image, const QString &fileName)
{
    QDir().mkpath(QFileInfo(fileName).absolutePath());
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly) || !image.save(&file, "PNG") || !file.commit())
        fail(QStringLiteral("cannot write %1").arg(fileName));
}

// An ICO with one 32-bit bitmap entry per size (colour rows bottom-up, then the AND mask), as
// every reader understands; the 256 px entry is stored as PNG, as is usual for that size.
QByteArray icoBitmap(const QImage &source)
{
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);
    const int w = image.width(), h = image.height();
    QByteArray data;
    auto put32 = [&data](quint32 v) { char b[4]; qToLittleEndian(v, b); data.append(b, 4); };
    auto put16 = [&data](quint16 v) { char b[2]; qToLittleEndian(v, b); data.append(b, 2); };
    put32(40); put32(w); put32(h * 2); put16(1); put16(32); put32(0);
    put32(0); put32(0); put32(0); put32(0); put32(0);
    for (int y = h - 1; y >= 0; --y) {
        const QRgb *row = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < w; ++x)
            put32(row[x]);
    }
    const int maskStride = ((w + 31) / 32) * 4;
    for (int y = h - 1; y >= 0; --y) {
        QByteArray maskRow(maskStride, '\0');
        const QRgb *row = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < w; ++x)
            if (qAlpha(row[x]) == 0)
                maskRow[x / 8] = char(maskRow[x / 8] | (0x80 >> (x % 8)));
        data.append(maskRow);
    }
    return data;
}

QByteArray icoFile(const QList<QImage> &images)
{
    QList<QByteArray> payloads;
    for (const QImage &image : images) {
        if (image.width() >= 256) {
            QByteArray png;
            QBuffer buffer(&png);
            buffer.open(QIODevice::WriteOnly);
            image.save(&buffer, "PNG");
            payloads.append(png);
        } else {
            payloads.append(icoBitmap(image));
        }
    }
    QByteArray out;
    auto put32 = [&out](quint32 v) { char b[4]; qToLittleEndian(v, b); out.append(b, 4); };
    auto put16 = [&out](quint16 v) { char b[2]; qToLittleEndian(v, b); out.append(b, 2); };
    put16(0); put16(1); put16(quint16(images.size()));
    quint32 offset = 6 + 16 * quint32(images.size());
    for (int i = 0; i < images.size(); ++i) {
        out.append(char(images[i].width() >= 256 ? 0 : images[i].width()));
        out.append(char(images[i].height() >= 256 ? 0 : images[i].height()));
        out.append('\0'); out.append('\0');
        put16(1); put16(32);
        put32(quint32(payloads[i].size())); put32(offset);
        offset += quint32(payloads[i].size());
    }
    for (const QByteArray &p : payloads)
        out.append(p);
    return out;
}

// Text falls back to whatever font the machine has, which for Chinese may be none at all.
void warnAboutMissingFonts(const QString &name, const QByteArray &svg)
{
    static const QRegularExpression family(QStringLiteral("font-family=\"([^\"]+)\""));
    static const QStringList installed = QFontDatabase().families();
    auto matches = family.globalMatch(QString::fromUtf8(svg));
    while (matches.hasNext()) {
        const QString wanted = matches.next().captured(1);
        if (!installed.contains(wanted, Qt::CaseInsensitive))
            std::fprintf(stderr, "pelorin_assetgen: warning: %s wants font '%s', which is not installed\n",
                         qPrintable(name), qPrintable(wanted));
    }
}

} // namespace

int main(int argc, char *argv[])
{
    // Text in the sources needs fonts, which need a platform; no display is involved. Build
    // machines often run without a session, which the platform would complain about on every run.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
        if (type != QtDebugMsg && !message.startsWith(QLatin1String("QStandardPaths:")))
            std::fprintf(stderr, "%s\n", qPrintable(message));
    });
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 6)
        fail(QStringLiteral("usage: pelorin_assetgen <manifest> <svg-dir> <out-dir> <qrc> <index>"));
    const QDir svgDir(args[2]);
    const QDir outDir(args[3]);

    QHash<QString, Palette> palettes;
    QList<Entry> entries;
    readManifest(args[1], palettes, entries);

    QList<Output> outputs;
    QHash<QString, QByteArray> sources;
    for (const Entry &e : entries) {
        if (!sources.contains(e.svg)) {
            QFile file(svgDir.filePath(e.svg));
            if (!file.open(QIODevice::ReadOnly))
                fail(QStringLiteral("cannot read %1").arg(file.fileName()));
            sources.insert(e.svg, file.readAll());
            warnAboutMissingFonts(e.svg, sources.value(e.svg));
        }
        const QByteArray source = sources.value(e.svg);
        auto paletteFor = [&](const QString &state) {
            const QString key = e.palette + QLatin1Char(':') + state;
            if (!palettes.contains(key))
                fail(QStringLiteral("%1: no palette %2").arg(e.path, key));
            return palettes.value(key);
        };
        auto emitImage = [&](const QString &path, const QByteArray &svg, bool hidpi) {
            writePng(render(svg, e.size, e.glyph, e.rotate, path), outDir.filePath(path));
            outputs.append({path, e.size, e.inQrc});
            if (hidpi) {
                const QString hiPath = path.left(path.size() - 4) + QStringLiteral("@2x.png");
                writePng(render(svg, e.size * 2, e.glyph * 2, e.rotate, hiPath), outDir.filePath(hiPath));
                outputs.append({hiPath, e.size * 2, e.inQrc});
            }
        };

        if (e.kind == QLatin1String("states")) {
            static const QStringList states = {QStringLiteral("normal"), QStringLiteral("hover"),
                                               QStringLiteral("pressed")};
            static const QStringList suffixes = {QStringLiteral("_Normal.png"), QStringLiteral("_Hover.png"),
                                                 QStringLiteral("_Pressed.png")};
            for (int i = 0; i < states.size(); ++i) {
                const QString path = e.path + suffixes[i];
                emitImage(path, applyPalette(source, paletteFor(states[i]), path), e.hidpi);
            }
        } else if (e.kind == QLatin1String("single") || e.kind == QLatin1String("file")) {
            emitImage(e.path, applyPalette(source, paletteFor(e.state), e.path), e.hidpi);
        } else if (e.kind == QLatin1String("svg")) {
            const QString fileName = outDir.filePath(e.path);
            QSaveFile file(fileName);
            if (!file.open(QIODevice::WriteOnly)
                || file.write(applyPalette(source, paletteFor(e.state), e.path)) < 0 || !file.commit())
                fail(QStringLiteral("cannot write %1").arg(fileName));
            outputs.append({e.path, e.size, e.inQrc});
        } else { // ico
            const QByteArray svg = applyPalette(source, paletteFor(e.state), e.path);
            QList<QImage> images;
            for (int side : {16, 24, 32, 48, 64, 128, 256})
                if (side <= e.size.width())
                    images.append(render(svg, QSize(side, side), QSize(), 0, e.path));
            const QString fileName = outDir.filePath(e.path);
            QDir().mkpath(QFileInfo(fileName).absolutePath());
            QSaveFile file(fileName);
            if (!file.open(QIODevice::WriteOnly) || file.write(icoFile(images)) < 0 || !file.commit())
                fail(QStringLiteral("cannot write %1").arg(fileName));
            outputs.append({e.path, e.size, e.inQrc});
        }
    }

    QByteArray qrc = "<!DOCTYPE RCC><RCC version=\"1.0\">\n<qresource prefix=\"/\">\n";
    QByteArray index;
    QHash<QString, bool> seen;
    for (const Output &o : outputs) {
        if (seen.contains(o.path))
            fail(QStringLiteral("%1 is produced twice").arg(o.path));
        seen.insert(o.path, true);
        if (!o.inQrc)
            continue;
        qrc += "  <file>" + o.path.toUtf8() + "</file>\n";
        index += o.path.toUtf8() + ' ' + QByteArray::number(o.size.width()) + ' '
                 + QByteArray::number(o.size.height()) + '\n';
    }
    qrc += "</qresource>\n</RCC>\n";
    for (const QString &name : {args[4], args[5]}) {
        QSaveFile file(name);
        if (!file.open(QIODevice::WriteOnly)
            || file.write(name == args[4] ? qrc : index) < 0 || !file.commit())
            fail(QStringLiteral("cannot write %1").arg(name));
    }
    return 0;
}
