#pragma once

#include "FakePlayerEngine.h"

#include "account/AccountSession.h"
#include "app/ui/DialogRegistry.h"
#include "notices/ui/VIPTipDialog.h"
#include "player/PlaybackController.h"
#include "resources/PlayRequest.h"
#include "resources/ui/BTResourceFunctionDialog.h"
#include "service/ServiceClient.h"

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

    ServiceClient client;
    AccountSession session{&client};
    PlaybackController playback;
    FakePlayerEngine *engine = new FakePlayerEngine(&playback);
    PlayRequest request{&client, &session, &playback};
    DialogRegistry dialogs;
    BTResourceFunctionDialog *dialog = nullptr;
};
