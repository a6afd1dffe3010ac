#include "MenuInput.h"

#include "DesktopInput.h"
#include "Eventually.h"

#include <QAction>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QMenu>
#include <QPointer>
#include <QScopeGuard>
#include <QTest>

MenuUse useContextMenu(DesktopInput *input, QObject *owner, const QPoint &click, const QStringList &path)
{
    MenuUse use;
    QPointer<QTimer> driver = whenTrue(
        owner, [] { return qobject_cast<QMenu *>(QApplication::activePopupWidget()) != nullptr; },
        [&] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            use.openedAt = menu->pos();
            for (QAction *action : menu->actions()) {
                if (!action->isSeparator())
                    use.entries << action->text();
            }
            for (const QString &text : path) {
                QAction *action = nullptr;
                for (QAction *candidate : menu->actions())
                    action = candidate->text() == text ? candidate : action;
                if (!action || !QTest::qWaitFor([menu] { return menu->isVisible(); }, 5000))
                    break;
                const QPoint at = menu->mapToGlobal(menu->actionGeometry(action).center());
                if (!action->menu()) {
                    use.chosen = input->click(at);
                    break;
                }
                // Hovering opens the submenu; a menu takes the pointer's first move over it for its
                // arrival, as a user's pointer comes in over several.
                input->moveTo(at - QPoint(8, 0));
                input->moveTo(at);
                menu = action->menu();
            }
            // Not found: the menus close, so that the test fails instead of waiting in them.
            while (!use.chosen && QApplication::activePopupWidget())
                QApplication::activePopupWidget()->close();
        });
    const auto stopDriver = qScopeGuard([&driver] { delete driver; });
    if (!input->click(click, 3))
        return use;
    use.chosen = QTest::qWaitFor([&] { return use.chosen && !QApplication::activePopupWidget(); }, 15000);
    return use;
}

bool chooseInComboBox(DesktopInput *input, QComboBox *box, int index)
{
    if (!input->click(box->mapToGlobal(box->rect().center())))
        return false;
    QAbstractItemView *list = box->view();
    if (!QTest::qWaitFor([list] { return list->isVisible(); }, 5000))
        return false;
    // The list takes no click until the one that opened it is a double-click interval past.
    QTest::qWait(QApplication::doubleClickInterval() + 100);
    const QModelIndex entry = list->model()->index(index, 0);
    // The entry's row, in the middle of the list as it is on screen (its items may be laid out wider).
    const int row = list->viewport()->mapToGlobal(list->visualRect(entry).center()).y();
    return input->click(QPoint(list->window()->geometry().center().x(), row))
        && QTest::qWaitFor([box, index] { return box->currentIndex() == index && !box->view()->isVisible(); }, 5000);
}
