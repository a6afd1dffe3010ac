#include "server/store/DataDirectory.h"

#include <sodium.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace server {

namespace {
bool makeDirectory(const std::string &path, mode_t mode, std::string *error)
{
    if (::mkdir(path.c_str(), mode) == 0 || errno == EEXIST) {
        struct stat info {};
        if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
            return true;
    }
    if (error)
        *error = "cannot create " + path + ": " + std::strerror(errno);
    return false;
}

bool makePath(const std::string &path, std::string *error)
{
    for (size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        const std::string prefix = path.substr(0, slash);
        struct stat info {};
        if (::stat(prefix.c_str(), &info) != 0 && !makeDirectory(prefix, 0755, error))
            return false;
    }
    return makeDirectory(path, 0755, error);
}
} // namespace

DataDirectory::DataDirectory(std::string root) : m_root(std::move(root))
{
    while (m_root.size() > 1 && m_root.back() == '/')
        m_root.pop_back();
}

std::string DataDirectory::databasePath() const { return m_root + "/service.db"; }
std::string DataDirectory::configDir() const { return m_root + "/config"; }
std::string DataDirectory::configPath(const std::string &name) const { return configDir() + "/" + name; }
std::string DataDirectory::staticDir() const { return m_root + "/static"; }
std::string DataDirectory::outboxDir() const { return m_root + "/outbox"; }
std::string DataDirectory::secretPath() const { return m_root + "/secret.key"; }

bool DataDirectory::prepare(std::string *error)
{
    if (m_root.empty()) {
        if (error)
            *error = "no data directory given";
        return false;
    }
    if (!makePath(m_root, error) || !makeDirectory(configDir(), 0755, error)
        || !makeDirectory(staticDir(), 0755, error) || !makeDirectory(outboxDir(), 0700, error))
        return false;
    return loadSecret(error);
}

bool DataDirectory::loadSecret(std::string *error)
{
    const std::string path = secretPath();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
        // Written to a private temporary name first so that a crash never leaves half a key.
        unsigned char key[32];
        randombytes_buf(key, sizeof key);
        const std::string temporary = path + ".new";
        const int out = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        const bool written = out >= 0 && ::write(out, key, sizeof key) == ssize_t(sizeof key)
                             && ::fsync(out) == 0;
        if (out >= 0)
            ::close(out);
        sodium_memzero(key, sizeof key);
        if (!written || ::rename(temporary.c_str(), path.c_str()) != 0) {
            if (error)
                *error = "cannot write " + path + ": " + std::strerror(errno);
            return false;
        }
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    }
    if (fd < 0) {
        if (error)
            *error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) == 0 && (info.st_mode & 077) != 0)
        ::fchmod(fd, 0600);
    char buffer[64];
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    ::close(fd);
    if (got != 32) {
        if (error)
            *error = path + " does not hold a 32-byte key";
        return false;
    }
    m_secret.assign(buffer, 32);
    sodium_memzero(buffer, sizeof buffer);
    return true;
}

} // namespace server
