#pragma once

// Helpers shared by the tests that drive the program's windows against a started pelorin-service.

#include "ServiceProcess.h"

#include <QListWidget>
#include <QString>

#include <memory>

class Application;
class BTResourceFunctionDialog;
class MpvPlayerEngine;
class PlaybackController;
class BTResourceParseResultListItemWidget;
class QPushButton;

namespace e2e {

// The clips are short, but the machine may be busy: generous limits, never timing assertions.
constexpr int kStepTimeoutMs = 60000;

// Runs "demo" into the service's data directory (before it is started) and returns the magnet
// links it printed, in order; empty on failure, with the output in *output. Its clips last that long.
QStringList prepareDemo(const ServiceProcess &service, QByteArray *output, int clipSeconds = 2);

// Points the program at the service: its host, the video-host list fetched anew, and the day's
// account page already shown (so that a login closes the account dialog).
void useService(const ServiceProcess &service);

// Logs in through the account dialog's widgets; true when the program then counts as logged in.
bool logInThroughDialog(const QString &name, const QString &password);

// The program on the real engine (no output), logged in through the dialog, its main window shown
// at (40, 40); *engine is its engine. Null when a step failed.
std::unique_ptr<Application> startLoggedIn(MpvPlayerEngine **engine,
                                           const QString &name = QStringLiteral("demo@pelorin.test"),
                                           const QString &password = QStringLiteral("demo1234"));

// The row widgets of a list, in order.
template <typename Row> QList<Row *> rowsOf(QListWidget *list)
{
    QList<Row *> rows;
    for (int i = 0; list && i < list->count(); ++i)
        rows << qobject_cast<Row *>(list->itemWidget(list->item(i)));
    return rows;
}

// The parse page's file rows, in order.
QList<BTResourceParseResultListItemWidget *> parseRows(BTResourceFunctionDialog *dialog);

// Presses a play button (of a file, record or collection row) from the event loop, as a user's
// click arrives, and waits until the play path has finished (the media opened, or it gave up). A
// watchdog presses "中止" if it is still waiting after the step timeout, so that a hang fails
// instead of blocking. True when the media opened.
bool clickPlay(PlaybackController *playback, BTResourceFunctionDialog *dialog, QPushButton *button);
// The same for the play button of the parse page's file row.
bool playRow(PlaybackController *playback, BTResourceFunctionDialog *dialog, int row);
// Parses the magnet on the parse page and plays the first file whose name contains `name`; the
// dialog is put away after. True when the media opened.
bool playNamed(PlaybackController *playback, const QString &magnet, const QString &name);

} // namespace e2e
