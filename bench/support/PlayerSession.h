#pragma once

#include <QList>
#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <memory>

class Application;
class BTResourceFunctionDialog;
class BTResourceParseResultListItemWidget;
class MpvVideoWidget;
class PlayerEngine;
class QPushButton;
class QWidget;

// The real player in this process, put together as the program's start-up does (main window with
// the libmpv engine factory, account and resource dialogs), with its own working directory and a
// Config.ini pointing at the given service. Driven through its widgets, as a user would.
class PlayerSession
{
public:
    explicit PlayerSession(const QString &serviceHost);
    ~PlayerSession();

    // Call once the QApplication exists (registers the GUI resources, sets the face and locale
    // as the program's main does).
    static void prepareApplication();
    // Runs the event loop until done() holds; false when the time ran out.
    static bool waitFor(const std::function<bool()> &done, int timeoutMs);

    QString workingDirectory() const { return m_dir.path(); }
    Application *application() const { return m_app.get(); }
    QWidget *window() const;
    BTResourceFunctionDialog *dialog() const;
    PlayerEngine *engine() const;
    // Null when the engine has no video output (no display).
    MpvVideoWidget *video() const;

    // Logs in through the account dialog's fields and button.
    bool login(const QString &email, const QString &password);
    // Pastes the input into the parse page and presses the parse button; the rows it lists.
    QList<BTResourceParseResultListItemWidget *> parse(const QString &input);
    static QPushButton *playButton(BTResourceParseResultListItemWidget *row);
    static QPushButton *downloadButton(BTResourceParseResultListItemWidget *row);
    // Presses the stop button and waits until the engine is ready again.
    bool stop(int timeoutMs = 20000);

private:
    QTemporaryDir m_dir;
    std::unique_ptr<Application> m_app;
};
