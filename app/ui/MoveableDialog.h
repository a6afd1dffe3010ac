#pragma once

#include <QDialog>
#include <QPoint>
#include <QRect>

// Base of the program's dialogs: a left press anywhere no child takes it drags the dialog.
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

private:
    // One drag at a time in the whole program, so the state is shared by every dialog.
    static bool s_pressed;
    static QPoint s_pressPosition;
    static QRect s_pressGeometry;
};
