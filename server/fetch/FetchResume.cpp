#include "server/fetch/FetchResume.h"

#include "server/fetch/TorrentIds.h"
#include "server/http/LogText.h"

#include <libtorrent/add_torrent_params.hpp>
#include <libtorrent/read_resume_data.hpp>

#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace lt = libtorrent;

namespace server {

using torrentids::qPath;

FetchResume::FetchResume(std::string fetchDir) : m_fetchDir(std::move(fetchDir)) {}

std::string FetchResume::dir() const
{
    return m_fetchDir + "/.resume";
}

std::string FetchResume::pathOf(const std::string &hash) const
{
    return dir() + "/" + hash + ".resume";
}

std::vector<std::string> FetchResume::hashes() const
{
    std::vector<std::string> result;
    const QStringList names = QDir(qPath(dir())).entryList({QStringLiteral("*.resume")}, QDir::Files);
    for (const QString &name : names) {
        const std::string hash = torrentids::lowered(QFile::encodeName(name.left(name.size() - 7)).toStdString());
        if (torrentids::isHexHash(hash))
            result.push_back(hash);
    }
    return result;
}

bool FetchResume::read(const std::string &hash, lt::add_torrent_params *params) const
{
    QFile file(qPath(pathOf(hash)));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    lt::error_code ec;
    *params = lt::read_resume_data({bytes.constData(), bytes.size()}, ec);
    if (ec || params->info_hashes.v1 != torrentids::hashOf(hash)) {
        LogText::print("fetch: resume data of " + hash + " unreadable, fetching it anew");
        *params = lt::add_torrent_params();
        return false;
    }
    return true;
}

bool FetchResume::write(const std::string &hash, const std::vector<char> &bytes) const
{
    QSaveFile file(qPath(pathOf(hash)));
    return file.open(QIODevice::WriteOnly) && file.write(bytes.data(), qint64(bytes.size())) == qint64(bytes.size())
           && file.commit();
}

void FetchResume::remove(const std::string &hash) const
{
    QFile::remove(qPath(pathOf(hash)));
}

} // namespace server
