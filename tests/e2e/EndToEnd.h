#pragma once

// Helpers shared by the tests that drive the program's windows against a started pelorin-service.

#include "ServiceProcess.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class BTResourceFunctionDialog;
class PlaybackController;
class BTResourceParseResultListItemWidget;
class QPushButton;

namespace e2e {

// The clips are short, but the machine may be busy: generous limits, never timing assertions.
constexpr int kStepTimeoutMs = 60000;

// Runs action once condition holds, checked from a timer owned by context. The play path and the
// service calls wait in nested local event loops, so whatever must happen while they wait (modal
// dialogs to answer, the media to pause) is driven from timers, not from sequential test code.
// Returns the timer, which deletes itself once the action ran.
QTimer *when(QObject *context, const std::function<bool()> &condition, const std::function<void()> &action);

// Runs "demo" into the service's data directory (before it is started) and returns the magnet
// links it printed, in order; empty on failure, with the output in *output.
QStringList prepareDemo(const ServiceProcess &service, QByteArray *output);

// Points the program at the service: its host, the video-host list fetched anew, and the day's
// account page already shown (so that a login closes the account dialog).
void useService(const ServiceProcess &service);

// Logs in through the account dialog's widgets; true when the program then counts as logged in.
bool logInThroughDialog(const QString &name, const QString &password);

// The parse page's file rows, in order.
QList<BTResourceParseResultListItemWidget *> parseRows(BTResourceFunctionDialog *dialog);

// Presses a play button (of a file, record or collection row) from the event loop, as a user's
// click arrives, and waits until the play path has finished (the media opened, or it gave up). A
// watchdog presses "中止" if it is still waiting after the step timeout, so that a hang fails
// instead of blocking. True when the media opened.
bool clickPlay(PlaybackController *playback, BTResourceFunctionDialog *dialog, QPushButton *button);
// The same for the play button of the parse page's file row.
bool playRow(PlaybackController *playback, BTResourceFunctionDialog *dialog, int row);

} // namespace e2e
