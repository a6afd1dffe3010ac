#pragma once

#include <QDialog>
#include <QPoint>
#include <QRect>

// Base of the program's dialogs: a left press anywhere no child takes it drags the dialog, once the
// pointer has moved past the drag distance; the window manager or compositor moves it where it
// can, the dialog itself elsewhere. Where the platform would place a dialog's window at will
// (native Wayland), a dialog with a parent is drawn inside its parent's window instead.
class MoveableDialog : public QDialog
{
    Q_OBJECT

public:
    MoveableDialog(QWidget *parent, Qt::WindowFlags flags);
    ~MoveableDialog() override;

    bool eventFilter(QObject *watched, QEvent *event) override;

    // Centres the dialog over its parent (integer division), as the one-instance accessors do.
    void centreOverParent();
    // For the dialogs the window manager frames: centred over that window, whatever the window
    // manager would choose by itself.
    static void centreOverWindow(QWidget *dialog, const QWidget *over);
    // Where the platform asks for it, makes a parented dialog a part of its parent's window: shown
    // above its siblings, modal to its parent while it runs modally, keys kept to itself.
    static void embedWhereNeeded(QDialog *dialog);

private:
    QPoint m_placedAt;            // where centreOverParent put the hidden dialog
    bool m_checkPlacement = false; // until it is shown and active there

    // One drag at a time in the whole program, so the state is shared by every dialog.
    static bool s_pressed;
    static bool s_dragging; // past the drag distance
    static QPoint s_pressPosition;
    static QRect s_pressGeometry;
};
