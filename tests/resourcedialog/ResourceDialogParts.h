#pragma once

#include "Eventually.h"
#include "FakePlayerEngine.h"

#include "account/AccountSession.h"
#include "app/ui/DialogRegistry.h"
#include "notices/ui/VIPTipDialog.h"
#include "player/PlaybackController.h"
#include "resources/PlayRequest.h"
#include "resources/ui/BTResourceFunctionDialog.h"
#include "service/ServiceClient.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

// The resource dialog with what it needs and nothing more: no main window, a scripted engine.
struct ResourceDialogParts
{
    ResourceDialogParts()
    {
        engine->setAutoTransitions(true);
        playback.attachEngine(engine);
        dialogs.define(&VIPTipDialog::staticMetaObject, [] { return new VIPTipDialog(nullptr); });
        dialog = new BTResourceFunctionDialog(&client, &session, &playback, &request, nullptr);
        dialog->loadLists();
    }
    ~ResourceDialogParts()
    {
        delete dialog;
        delete dialogs.existing(&VIPTipDialog::staticMetaObject);
    }

    template <typename T> T *child(const char *name) const { return dialog->findChild<T *>(QLatin1String(name)); }
    QString state() const { return child<QLabel>("parsePageParseStateLabel")->text(); }
    QListWidget *list(const char *name) const { return child<QListWidget>(name); }
    QPushButton *rowButton(const char *listName, int i, const char *button) const
    {
        QListWidget *w = list(listName);
        return w->itemWidget(w->item(i))->findChild<QPushButton *>(QLatin1String(button));
    }
    int calls(const char *name) const { return engine->callCount(QLatin1String(name)); }
    // A play waits in local event loops: it has to start from the event loop, as a click does,
    // and what must happen meanwhile is driven from there too.
    static void clickLater(QPushButton *button) { QTimer::singleShot(0, button, &QPushButton::click); }

    ServiceClient client;
    AccountSession session{&client};
    PlaybackController playback;
    FakePlayerEngine *engine = new FakePlayerEngine(&playback);
    PlayRequest request{&client, &session, &playback};
    DialogRegistry dialogs;
    BTResourceFunctionDialog *dialog = nullptr;
};
