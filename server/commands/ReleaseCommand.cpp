#include "server/commands/ReleaseCommand.h"

#include "server/commands/CommandLine.h"
#include "server/store/ConfigItems.h"
#include "server/store/DataDirectory.h"
#include "server/store/Database.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <cstdio>
#include <memory>

namespace server {

namespace {
int usage(const char *problem)
{
    std::fprintf(stderr, "release: %s\n%s", problem, usageText().c_str());
    return 2;
}

// Copies the package in pieces, hashing what it copies, and replaces the published file only
// once the copy is complete.
bool copyHashing(const QString &from, const QString &to, QByteArray *digest, QString *error)
{
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(from, in.errorString());
        return false;
    }
    QSaveFile out(to);
    if (!out.open(QIODevice::WriteOnly)) {
        *error = QStringLiteral("cannot write %1: %2").arg(to, out.errorString());
        return false;
    }
    out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                       | QFileDevice::ReadOther);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    while (!in.atEnd()) {
        const QByteArray piece = in.read(1 << 20);
        if (piece.isEmpty() && in.error() != QFileDevice::NoError) {
            *error = QStringLiteral("cannot read %1: %2").arg(from, in.errorString());
            out.cancelWriting();
            return false;
        }
        hash.addData(piece);
        if (out.write(piece) != piece.size()) {
            *error = QStringLiteral("cannot write %1: %2").arg(to, out.errorString());
            out.cancelWriting();
            return false;
        }
    }
    if (!out.commit()) {
        *error = QStringLiteral("cannot write %1: %2").arg(to, out.errorString());
        return false;
    }
    *digest = hash.result().toHex();
    return true;
}
} // namespace

int runReleaseCommand(const std::vector<std::string> &arguments)
{
    std::string dataDir;
    std::string databaseUrl;
    std::vector<std::string> words;
    for (size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == "--data" || arguments[i] == "--database") {
            if (i + 1 >= arguments.size())
                return usage(("missing value after " + arguments[i]).c_str());
            (arguments[i] == "--data" ? dataDir : databaseUrl) = arguments[i + 1];
            ++i;
            if (!databaseUrl.empty() && !isPostgresUrl(databaseUrl))
                return usage("--database takes a postgresql:// address");
        } else {
            words.push_back(arguments[i]);
        }
    }
    if (dataDir.empty())
        return usage("--data DIR is required");
    if (words.size() != 3)
        return usage("takes PACKAGE VERSION NOTES");
    const QString package = QString::fromStdString(words[0]);
    const QString version = QString::fromStdString(words[1]).trimmed();
    const QString notes = QString::fromStdString(words[2]);
    if (version.isEmpty())
        return usage("VERSION is empty");
    const QFileInfo info(package);
    if (!info.isFile())
        return usage(("no such file: " + words[0]).c_str());

    DataDirectory directory(dataDir);
    std::string problem;
    if (!directory.prepare(&problem)) {
        std::fprintf(stderr, "release: %s\n", problem.c_str());
        return 1;
    }
    const QString name = info.fileName();
    QByteArray digest;
    QString error;
    if (!copyHashing(package, QString::fromStdString(directory.staticDir()) + QLatin1Char('/') + name, &digest,
                     &error)) {
        std::fprintf(stderr, "release: %s\n", error.toUtf8().constData());
        return 1;
    }

    // Written last and whole: players see the old release or the new one, never a mix.
    QJsonObject update;
    update.insert(QStringLiteral("version"), version);
    update.insert(QStringLiteral("desc"), notes);
    update.insert(QStringLiteral("path"), name);
    update.insert(QStringLiteral("sha256"), QString::fromLatin1(digest));
    // On a shared database the item is a row of it; the package must then be in DIR/static/ of
    // every instance (or wherever the front serves static files from).
    std::unique_ptr<Database> database;
    if (!databaseUrl.empty()) {
        database = makeDatabase(databaseUrl, dataDir);
        if (!database->open(&problem)) {
            std::fprintf(stderr, "release: %s\n", problem.c_str());
            return 1;
        }
    }
    ConfigItems items(directory, database.get());
    if (!items.put(ConfigItems::kUpdate, QJsonDocument(update).toJson(), &problem)) {
        std::fprintf(stderr, "release: %s\n", problem.c_str());
        return 1;
    }
    std::printf("published %s: static/%s sha256 %s\n", version.toUtf8().constData(), name.toUtf8().constData(),
                digest.constData());
    return 0;
}

} // namespace server
