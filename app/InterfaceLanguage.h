#pragma once

#include <QString>
#include <QStringList>

// The language of the interface: Chinese, in which the program's texts are written, or English, a
// translation compiled into the program. One per process, as Qt's translators are: installing
// another translates the open windows at once (they hear QEvent::LanguageChange).
class InterfaceLanguage
{
public:
    static const QString Chinese; // "zh"
    static const QString English; // "en"
    // The environment variable that chooses the language for one run.
    static const char EnvironmentVariable[];

    // "zh" or "en" for a code such as "en", "en_GB", "EN", "zh_CN.UTF-8"; empty for any other.
    static QString normalised(const QString &code);
    // The language of this run: "--lang CODE" (or "--lang=CODE") among the arguments, else the
    // environment's code, else the stored choice, else Chinese. An unknown code is passed over
    // with a warning.
    static QString forRun(const QStringList &arguments, const QString &environment, const QString &stored);

    // Installs the program's translation and Qt's own texts for the language (Qt's Chinese, or
    // its built-in English). False, leaving everything as it was, for an unknown code or when the
    // program's translation cannot be loaded; Qt's Chinese missing only leaves Qt's English.
    static bool apply(const QString &code);
    // The language in force: Chinese until apply() succeeded with another.
    static QString current();
};
