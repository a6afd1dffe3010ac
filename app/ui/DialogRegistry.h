#pragma once

#include <QHash>
#include <QPointer>

#include <functional>

class MoveableDialog;
struct QMetaObject;

// The one-instance dialogs of the running program: each made on first use by the factory the
// application gave for it, re-centred over its parent at every access, and forgotten when it is
// destroyed with its parent (so an access after that makes a new one instead of a dangling one).
class DialogRegistry
{
public:
    using Factory = std::function<MoveableDialog *()>;
    // Runs once after the dialog is registered; may wait for the service, and whatever asks for
    // the dialog meanwhile gets this one.
    using Prepare = std::function<void(MoveableDialog *)>;

    DialogRegistry();
    ~DialogRegistry();
    DialogRegistry(const DialogRegistry &) = delete;
    DialogRegistry &operator=(const DialogRegistry &) = delete;

    // The registry of the running application, or null when there is none.
    static DialogRegistry *current();

    void define(const QMetaObject *type, const Factory &create, const Prepare &prepare = {});
    MoveableDialog *instance(const QMetaObject *type);
    // The dialog if it exists already; never makes one.
    MoveableDialog *existing(const QMetaObject *type) const;

    // What the dialogs' static instance() accessors return: null without an application.
    template <typename T> static T *instanceOf()
    {
        DialogRegistry *registry = current();
        return registry ? static_cast<T *>(registry->instance(&T::staticMetaObject)) : nullptr;
    }

private:
    struct Entry
    {
        Factory create;
        Prepare prepare;
        QPointer<MoveableDialog> dialog;
    };
    QHash<const QMetaObject *, Entry> m_entries;
};
