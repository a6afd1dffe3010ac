#include "app/InterfaceLanguage.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTranslator>

#include <memory>

const QString InterfaceLanguage::Chinese = QStringLiteral("zh");
const QString InterfaceLanguage::English = QStringLiteral("en");
const char InterfaceLanguage::EnvironmentVariable[] = "PELORIN_LANG";

namespace {
struct Installed
{
    QString language = InterfaceLanguage::Chinese;
    QPointer<QTranslator> program;
    QPointer<QTranslator> qt;
};

Installed &installed()
{
    static Installed state;
    return state;
}

void replace(QPointer<QTranslator> *slot, std::unique_ptr<QTranslator> next)
{
    if (*slot) {
        QCoreApplication::removeTranslator(*slot);
        delete slot->data();
    }
    *slot = next.release();
    if (*slot)
        QCoreApplication::installTranslator(*slot);
}
} // namespace

QString InterfaceLanguage::normalised(const QString &code)
{
    // Locale-like codes ("en_GB.UTF-8") name their language first.
    const QString language = code.trimmed()
                                 .section(QLatin1Char('.'), 0, 0)
                                 .section(QLatin1Char('_'), 0, 0)
                                 .section(QLatin1Char('-'), 0, 0)
                                 .toLower();
    if (language == Chinese || language == English)
        return language;
    return QString();
}

QString InterfaceLanguage::forRun(const QStringList &arguments, const QString &environment, const QString &stored)
{
    const auto known = [](const QString &code, const char *source) {
        const QString language = normalised(code);
        if (language.isEmpty() && !code.isEmpty())
            qWarning("pelorin: unknown language \"%s\" (%s); the languages are zh and en", qPrintable(code), source);
        return language;
    };
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        QString code;
        if (argument == QLatin1String("--lang"))
            code = i + 1 < arguments.size() ? arguments.at(i + 1) : QString();
        else if (argument.startsWith(QLatin1String("--lang=")))
            code = argument.mid(7);
        else
            continue;
        const QString language = known(code.isEmpty() ? QStringLiteral("(none)") : code, "--lang");
        if (!language.isEmpty())
            return language;
    }
    for (const auto &[code, source] : {std::pair<QString, const char *>{environment, EnvironmentVariable},
                                       std::pair<QString, const char *>{stored, "Config.ini"}}) {
        const QString language = known(code, source);
        if (!language.isEmpty())
            return language;
    }
    return Chinese;
}

bool InterfaceLanguage::apply(const QString &code)
{
    const QString language = normalised(code);
    if (language.isEmpty())
        return false;
    QObject *application = QCoreApplication::instance();
    std::unique_ptr<QTranslator> program;
    if (language == English) {
        program = std::make_unique<QTranslator>(application);
        if (!program->load(QStringLiteral(":/i18n/pelorin_en.qm")))
            return false;
    }
    // Qt's own texts: its Chinese catalogue, or nothing for the English it is written in. Not found
    // (a program without it), Qt simply speaks English.
    std::unique_ptr<QTranslator> qt;
    if (language == Chinese) {
        qt = std::make_unique<QTranslator>(application);
        if (!qt->load(QStringLiteral(":/main/qt_zh_CN.qm")))
            qt.reset();
    }
    Installed &state = installed();
    replace(&state.program, std::move(program));
    replace(&state.qt, std::move(qt));
    state.language = language;
    return true;
}

QString InterfaceLanguage::current()
{
    return installed().language;
}
