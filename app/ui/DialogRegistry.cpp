#include "app/ui/DialogRegistry.h"

#include "app/ui/MoveableDialog.h"

namespace {
DialogRegistry *g_current = nullptr;
} // namespace

DialogRegistry::DialogRegistry()
{
    g_current = this;
}

DialogRegistry::~DialogRegistry()
{
    if (g_current == this)
        g_current = nullptr;
}

DialogRegistry *DialogRegistry::current()
{
    return g_current;
}

void DialogRegistry::define(const QMetaObject *type, const Factory &create, const Prepare &prepare)
{
    m_entries.insert(type, Entry{create, prepare, nullptr});
}

MoveableDialog *DialogRegistry::existing(const QMetaObject *type) const
{
    const auto found = m_entries.constFind(type);
    return found == m_entries.constEnd() ? nullptr : found->dialog.data();
}

MoveableDialog *DialogRegistry::instance(const QMetaObject *type)
{
    const auto found = m_entries.find(type);
    if (found == m_entries.end())
        qFatal("DialogRegistry: no factory for %s", type->className());
    QPointer<MoveableDialog> dialog = found->dialog;
    if (!dialog) {
        dialog = found->create();
        found->dialog = dialog;
        if (found->prepare)
            found->prepare(dialog);
    }
    if (dialog)
        dialog->centreOverParent();
    return dialog;
}
