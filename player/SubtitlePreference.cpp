#include "player/SubtitlePreference.h"

#include "app/AppConfig.h"

#include <QSettings>

namespace {
const char kKey[] = "Player/SubtitleLanguage";
const char *const kValues[] = {"chinese", "english", "none"};

// The service sends its own tags; files name theirs in many ways.
QStringList simplified()
{
    return {QStringLiteral("chs"), QStringLiteral("chi"), QStringLiteral("zho"), QStringLiteral("zh"),
            QStringLiteral("zh-cn"), QStringLiteral("zh-hans"), QStringLiteral("sc")};
}
QStringList traditional()
{
    return {QStringLiteral("cht"), QStringLiteral("zh-tw"), QStringLiteral("zh-hk"), QStringLiteral("zh-hant"),
            QStringLiteral("tc")};
}
QStringList english()
{
    return {QStringLiteral("eng"), QStringLiteral("en")};
}
} // namespace

SubtitlePreference::Choice SubtitlePreference::current()
{
    const QString value = AppConfig::instance()->value(QLatin1String(kKey)).toString();
    for (int i = 0; i < 3; ++i)
        if (value == QLatin1String(kValues[i]))
            return Choice(i);
    return Chinese;
}

void SubtitlePreference::set(Choice choice)
{
    AppConfig::instance()->setValue(QLatin1String(kKey), QLatin1String(kValues[choice]));
}

QList<QStringList> SubtitlePreference::order(Choice choice)
{
    switch (choice) {
    case Chinese: return {simplified(), traditional(), english()};
    case English: return {english(), simplified(), traditional()};
    case None: break;
    }
    return {};
}

int SubtitlePreference::pick(const QStringList &languages, Choice choice)
{
    if (choice == None)
        return -1;
    for (const QStringList &names : order(choice)) {
        for (int i = 0; i < languages.size(); ++i)
            if (names.contains(languages[i].toLower()))
                return i;
    }
    return languages.indexOf(QString());
}
