#include "app/ui/MoveableDialog.h"

#include <QMouseEvent>

bool MoveableDialog::s_pressed = false;
QPoint MoveableDialog::s_pressPosition;
QRect MoveableDialog::s_pressGeometry;

MoveableDialog::MoveableDialog(QWidget *parent, Qt::WindowFlags flags)
    : QDialog(parent, flags)
{
    installEventFilter(this);
}

MoveableDialog::~MoveableDialog() = default;

bool MoveableDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == this) {
        switch (event->type()) {
        case QEvent::MouseButtonPress: {
            auto *mouse = static_cast<QMouseEvent *>(event);
            if (mouse->button() == Qt::LeftButton) {
                s_pressed = true;
                s_pressPosition = mapToGlobal(mouse->pos());
                s_pressGeometry = geometry();
                return true;
            }
            break;
        }
        case QEvent::MouseMove:
            if (s_pressed) {
                auto *mouse = static_cast<QMouseEvent *>(event);
                // Always relative to the press, so the dialog follows the pointer without drift.
                const QPoint offset = mapToGlobal(mouse->pos()) - s_pressPosition;
                move(s_pressGeometry.topLeft() + offset);
                return true;
            }
            break;
        case QEvent::MouseButtonRelease:
            if (static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
                s_pressed = false;
                return true;
            }
            break;
        default:
            break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void MoveableDialog::centreOverParent()
{
    if (const QWidget *parent = parentWidget())
        move(parent->x() + (parent->width() - width()) / 2, parent->y() + (parent->height() - height()) / 2);
}

void MoveableDialog::centreOverWindow(QWidget *dialog, const QWidget *over)
{
    dialog->ensurePolished();
    dialog->adjustSize();
    const QPoint centre = over->window()->frameGeometry().center();
    dialog->move(centre.x() - dialog->width() / 2, centre.y() - dialog->height() / 2);
}
