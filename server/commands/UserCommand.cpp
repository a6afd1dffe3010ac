#include "server/commands/UserCommand.h"

#include "server/commands/CommandLine.h"
#include "server/ServiceContext.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>

#include <cstdio>
#include <optional>

namespace server {

namespace {
struct VipChange {
    bool vip = false;
    bool noVip = false;
    bool permanent = false;
    std::optional<int64_t> until;
    std::optional<std::string> password;
};

// The end of the given local day.
std::optional<int64_t> parseDate(const std::string &text)
{
    const QDate date = QDate::fromString(QString::fromStdString(text), QStringLiteral("yyyy-MM-dd"));
    if (!date.isValid())
        return std::nullopt;
    return QDateTime(date, QTime(23, 59, 59)).toSecsSinceEpoch();
}

int usage(const char *problem)
{
    std::fprintf(stderr, "user: %s\n%s", problem, usageText().c_str());
    return 2;
}

std::string dateText(int64_t seconds)
{
    return QDateTime::fromSecsSinceEpoch(seconds).date().toString(Qt::ISODate).toStdString();
}

std::string describe(const Account &account)
{
    std::string vip;
    if (account.permanentVip)
        vip = "permanent VIP";
    else if (account.vip)
        vip = account.vipUntil ? "VIP until " + dateText(account.vipUntil)
                                     + (account.isVip(ServiceContext::now()) ? "" : " (expired)")
                               : "VIP";
    else
        vip = "no VIP";
    return account.email + "  " + vip + "  created " + dateText(account.createdAt) + "  union_uid "
           + account.unionUid;
}
} // namespace

int runUserCommand(const std::vector<std::string> &arguments)
{
    std::string dataDir;
    std::string databaseUrl;
    std::vector<std::string> words;
    VipChange change;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string &argument = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (argument == "--data" || argument == "--vip-until" || argument == "--password" || argument == "--database") {
            if (!hasValue)
                return usage(("missing value after " + argument).c_str());
            const std::string value = arguments[++i];
            if (argument == "--data") {
                dataDir = value;
            } else if (argument == "--database") {
                databaseUrl = value;
                if (!isPostgresUrl(value))
                    return usage("--database takes a postgresql:// address");
            } else if (argument == "--password") {
                change.password = value;
            } else {
                change.until = parseDate(value);
                if (!change.until)
                    return usage("--vip-until takes a date as YYYY-MM-DD");
            }
        } else if (argument == "--vip") {
            change.vip = true;
        } else if (argument == "--no-vip") {
            change.noVip = true;
        } else if (argument == "--permanent-vip") {
            change.permanent = true;
        } else if (argument.rfind("--", 0) == 0) {
            return usage(("unknown option " + argument).c_str());
        } else {
            words.push_back(argument);
        }
    }
    if (dataDir.empty())
        return usage("--data DIR is required");
    if (words.empty())
        return usage("add, set or list?");
    if (change.noVip && (change.vip || change.permanent || change.until))
        return usage("--no-vip cannot be combined with other VIP options");

    ServiceOptions options;
    options.dataDir = dataDir;
    options.databaseUrl = databaseUrl;
    ServiceContext context(options);
    std::string error;
    if (!context.open(&error)) {
        std::fprintf(stderr, "user: %s\n", error.c_str());
        return 1;
    }
    AccountStore &accounts = context.accounts();
    const std::string &command = words[0];

    if (command == "list") {
        for (const Account &account : accounts.all())
            std::printf("%s\n", describe(account).c_str());
        return 0;
    }

    if (command == "remove") {
        if (words.size() != 2)
            return usage("remove takes EMAIL");
        const std::optional<Account> gone = accounts.findByEmail(words[1]);
        if (!gone) {
            std::fprintf(stderr, "user: no account %s\n", words[1].c_str());
            return 1;
        }
        if (!accounts.remove(gone->id)) {
            std::fprintf(stderr, "user: cannot remove the account\n");
            return 1;
        }
        std::printf("removed %s\n", gone->email.c_str());
        return 0;
    }

    std::optional<Account> account;
    if (command == "add") {
        if (words.size() != 3)
            return usage("add takes EMAIL PASSWORD");
        if (!AccountStore::isEmailShape(words[1]))
            return usage("EMAIL is not an e-mail address");
        if (!AccountStore::isAcceptablePassword(words[2]))
            return usage("PASSWORD must have 6 to 64 characters");
        int64_t id = 0;
        switch (accounts.create(words[1], words[2], "0", ServiceContext::now(), &id)) {
        case AccountStore::CreateResult::Created:
            break;
        case AccountStore::CreateResult::Duplicate:
            std::fprintf(stderr, "user: %s exists already (use set)\n", words[1].c_str());
            return 1;
        case AccountStore::CreateResult::Failed:
            std::fprintf(stderr, "user: cannot store the account\n");
            return 1;
        }
        account = accounts.findById(id);
    } else if (command == "set") {
        if (words.size() != 2)
            return usage("set takes EMAIL");
        account = accounts.findByEmail(words[1]);
        if (!account) {
            std::fprintf(stderr, "user: no account %s\n", words[1].c_str());
            return 1;
        }
        if (change.password) {
            if (!AccountStore::isAcceptablePassword(*change.password))
                return usage("PASSWORD must have 6 to 64 characters");
            if (!accounts.setPassword(account->id, *change.password)) {
                std::fprintf(stderr, "user: cannot store the password\n");
                return 1;
            }
            context.sessions().unbindAllOf(account->id);
        }
    } else {
        return usage(("unknown user command " + command).c_str());
    }
    if (!account) {
        std::fprintf(stderr, "user: cannot read the account back\n");
        return 1;
    }

    bool vip = account->vip;
    bool permanent = account->permanentVip;
    int64_t until = account->vipUntil;
    if (change.noVip) {
        vip = permanent = false;
        until = 0;
    }
    if (change.vip)
        vip = true;
    if (change.permanent)
        vip = permanent = true;
    if (change.until) {
        vip = true;
        until = *change.until;
    }
    if ((vip != account->vip || permanent != account->permanentVip || until != account->vipUntil)
        && !accounts.setVip(account->id, vip, permanent, until)) {
        std::fprintf(stderr, "user: cannot store the VIP state\n");
        return 1;
    }
    std::printf("%s\n", describe(*accounts.findById(account->id)).c_str());
    return 0;
}

} // namespace server
