#pragma once

#include <QPoint>
#include <QStringList>

class DesktopInput;
class QComboBox;
class QObject;

// What happened to a context menu driven by useContextMenu.
struct MenuUse
{
    bool chosen = false; // the entry was clicked and the menu has closed
    QPoint openedAt; // where the menu came up, global
    QStringList entries; // the texts of its top level, separators left out
};

// A context menu as a user uses it: a right click at a global point through the X server, then,
// from inside the menu's own event loop, the entry at the path clicked (each submenu's title
// hovered, then its entry). An entry that is not there closes the menus.
MenuUse useContextMenu(DesktopInput *input, QObject *owner, const QPoint &click, const QStringList &path);

// An entry of a combo box chosen as a user does: a click opens its list, a click on the entry's
// row picks it. True once the box shows that entry.
bool chooseInComboBox(DesktopInput *input, QComboBox *box, int index);
