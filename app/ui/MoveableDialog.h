#pragma once

#include <QDialog>
#include <QPoint>
#include <QRect>

class QAbstractButton;

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

    // What Esc presses: the close or return button of what the dialog shows. Without one, Esc
    // dismisses the dialog as any dialog's Esc does.
    virtual QAbstractButton *escapeButton() const { return nullptr; }
    void escape();
    // Esc on a window with dialogs open over it: the one the user had last goes (it covers the
    // window, and the keys were the window's because the user clicked there since). False when
    // none is open.
    static bool escapeTopmostOver(QWidget *window);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    QPoint m_placedAt;            // where centreOverParent put the hidden dialog
    bool m_checkPlacement = false; // until it is shown and active there
    quint64 m_touched = 0;         // when last shown, activated or pressed: the order of the dialogs
    static quint64 s_touches;

    // One drag at a time in the whole program, so the state is shared by every dialog.
    static bool s_pressed;
    static bool s_dragging; // past the drag distance
    static QPoint s_pressPosition;
    static QRect s_pressGeometry;
};
