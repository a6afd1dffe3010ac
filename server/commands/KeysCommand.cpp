#include "server/commands/KeysCommand.h"

#include "server/ServiceContext.h"
#include "server/commands/CommandLine.h"

#include <QFile>
#include <QJsonDocument>

#include <cstdio>
#include <ctime>

namespace server {

namespace {
int usage(const char *command, const std::string &problem)
{
    std::fprintf(stderr, "%s: %s\n%s", command, problem.c_str(), usageText().c_str());
    return 2;
}

// --data and --database taken out of the arguments; the rest are the command's words.
bool parseCommon(const char *command, const std::vector<std::string> &arguments, ServiceOptions *options,
                 std::vector<std::string> *words, int *status)
{
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string &argument = arguments[i];
        if (argument == "--data" || argument == "--database") {
            if (i + 1 >= arguments.size()) {
                *status = usage(command, "missing value after " + argument);
                return false;
            }
            (argument == "--data" ? options->dataDir : options->databaseUrl) = arguments[++i];
        } else if (argument.rfind("--", 0) == 0) {
            *status = usage(command, "unknown option " + argument);
            return false;
        } else {
            words->push_back(argument);
        }
    }
    if (options->dataDir.empty()) {
        *status = usage(command, "--data DIR is required");
        return false;
    }
    if (!options->databaseUrl.empty() && !isPostgresUrl(options->databaseUrl)) {
        *status = usage(command, "--database takes a postgresql:// address");
        return false;
    }
    return true;
}

std::string timeText(int64_t seconds)
{
    const std::time_t t = std::time_t(seconds);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", std::gmtime(&t));
    return text;
}
} // namespace

int runKeysCommand(const std::vector<std::string> &arguments)
{
    ServiceOptions options;
    std::vector<std::string> words;
    int status = 0;
    if (!parseCommon("keys", arguments, &options, &words, &status))
        return status;
    if (options.databaseUrl.empty())
        return usage("keys", "the key ring lives in a shared database (--database); with SQLite the codes are "
                             "signed with DIR/secret.key");
    if (words.size() != 1 || (words[0] != "list" && words[0] != "rotate"))
        return usage("keys", "list or rotate?");
    ServiceContext context(options);
    std::string error;
    if (!context.open(&error)) {
        std::fprintf(stderr, "keys: %s\n", error.c_str());
        return 1;
    }
    SharedKeys keys(context.database());
    const int64_t now = ServiceContext::now();
    if (words[0] == "rotate") {
        SharedKeys::CodeKey added;
        if (!keys.rotate(now, AccessTokens::kLongestCodeSeconds, &added, &error)) {
            std::fprintf(stderr, "keys: %s\n", error.c_str());
            return 1;
        }
        std::printf("key %lld signs from %s UTC (after every instance has read it)\n", (long long)added.id,
                    timeText(added.signsFrom).c_str());
    }
    std::vector<SharedKeys::CodeKey> ring;
    if (!keys.codeKeys(now, &ring, &error)) {
        std::fprintf(stderr, "keys: %s\n", error.c_str());
        return 1;
    }
    for (const SharedKeys::CodeKey &key : ring)
        std::printf("key %lld  made %s UTC  signs from %s UTC\n", (long long)key.id, timeText(key.createdAt).c_str(),
                    timeText(key.signsFrom).c_str());
    return 0;
}

int runConfigCommand(const std::vector<std::string> &arguments)
{
    ServiceOptions options;
    std::vector<std::string> words;
    int status = 0;
    if (!parseCommon("config", arguments, &options, &words, &status))
        return status;
    const bool show = words.size() == 2 && words[0] == "show";
    const bool set = words.size() == 3 && words[0] == "set";
    if (!show && !set)
        return usage("config", "show NAME or set NAME FILE");
    ServiceContext context(options);
    std::string error;
    if (!context.open(&error)) {
        std::fprintf(stderr, "config: %s\n", error.c_str());
        return 1;
    }
    const std::string &name = words[1];
    if (show) {
        QByteArray bytes;
        bool missing = false;
        if (!context.config().read(name, &bytes, &missing) || missing) {
            std::fprintf(stderr, "config: no item %s\n", name.c_str());
            return 1;
        }
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
        return 0;
    }
    QFile file(QFile::decodeName(QByteArray::fromStdString(words[2])));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "config: cannot read %s\n", words[2].c_str());
        return 1;
    }
    const QByteArray bytes = file.readAll();
    QJsonParseError parseError{};
    if (QJsonDocument::fromJson(bytes, &parseError).isNull()) {
        std::fprintf(stderr, "config: %s is not JSON: %s\n", words[2].c_str(),
                     parseError.errorString().toUtf8().constData());
        return 1;
    }
    if (!context.config().put(name, bytes, &error)) {
        std::fprintf(stderr, "config: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

} // namespace server
