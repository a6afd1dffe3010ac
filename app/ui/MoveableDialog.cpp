#include "app/ui/MoveableDialog.h"

#include "app/ui/WindowPlatform.h"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QTimer>

bool MoveableDialog::s_pressed = false;
bool MoveableDialog::s_dragging = false;
QPoint MoveableDialog::s_pressPosition;
QRect MoveableDialog::s_pressGeometry;
quint64 MoveableDialog::s_touches = 0;

namespace {
// Keeps an embedded dialog a dialog: above its siblings when shown, the siblings disabled while it
// runs modally (an embedded widget has no window to be modal with), and its keys and pointer
// events its own instead of travelling on to the window it is drawn in (whose rules would take a
// right click for its menu or a move for an edge).
class EmbeddedDialogGuard : public QObject
{
public:
    using QObject::QObject;

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *dialog = static_cast<QDialog *>(watched);
        switch (event->type()) {
        case QEvent::Show:
            dialog->raise();
            if (dialog->isModal())
                disableSiblings(dialog);
            break;
        case QEvent::Hide:
            enableSiblings();
            break;
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
            static_cast<QObject *>(dialog)->event(event);
            event->accept(); // handled or not, it goes no further
            return true;
        default:
            break;
        }
        return false;
    }

private:
    void disableSiblings(QDialog *dialog)
    {
        enableSiblings();
        const QList<QWidget *> siblings = dialog->parentWidget()->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
        for (QWidget *sibling : siblings) {
            if (sibling != dialog && !sibling->isWindow() && !qobject_cast<QDialog *>(sibling) && sibling->isEnabled()) {
                sibling->setEnabled(false);
                m_disabled.append(sibling);
            }
        }
    }
    void enableSiblings()
    {
        for (const QPointer<QWidget> &sibling : qAsConst(m_disabled)) {
            if (sibling)
                sibling->setEnabled(true);
        }
        m_disabled.clear();
    }

    QList<QPointer<QWidget>> m_disabled;
};
} // namespace

MoveableDialog::MoveableDialog(QWidget *parent, Qt::WindowFlags flags)
    : QDialog(parent, flags)
{
    embedWhereNeeded(this);
    installEventFilter(this);
}

MoveableDialog::~MoveableDialog() = default;

void MoveableDialog::embedWhereNeeded(QDialog *dialog)
{
    if (!dialog->parentWidget() || !dialog->isWindow() || !WindowPlatform::embedsDialogs())
        return;
    dialog->setWindowFlags(Qt::SubWindow | Qt::FramelessWindowHint);
    // Its own cursor: the window's, which it would inherit, is hidden over the video.
    dialog->setCursor(Qt::ArrowCursor);
    dialog->installEventFilter(new EmbeddedDialogGuard(dialog));
}

void MoveableDialog::escape()
{
    QAbstractButton *button = escapeButton();
    if (!button)
        reject();
    else if (button->isVisible() && button->isEnabled())
        button->click();
}

bool MoveableDialog::escapeTopmostOver(QWidget *window)
{
    MoveableDialog *topmost = nullptr;
    for (MoveableDialog *dialog : window->findChildren<MoveableDialog *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (dialog->isVisible() && (!topmost || dialog->m_touched > topmost->m_touched))
            topmost = dialog;
    }
    if (topmost)
        topmost->escape();
    return topmost;
}

void MoveableDialog::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        escape();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool MoveableDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == this) {
        switch (event->type()) {
        case QEvent::Show:
        case QEvent::WindowActivate:
            m_touched = ++s_touches;
            break;
        default:
            break;
        }
        switch (event->type()) {
        case QEvent::MouseButtonPress: {
            auto *mouse = static_cast<QMouseEvent *>(event);
            m_touched = ++s_touches;
            if (mouse->button() == Qt::LeftButton) {
                s_pressed = true;
                s_dragging = false;
                // The event's own screen position: what the window manager is told the drag began at.
                s_pressPosition = mouse->globalPos();
                s_pressGeometry = geometry();
                return true;
            }
            break;
        }
        case QEvent::MouseMove:
            if (s_pressed) {
                auto *mouse = static_cast<QMouseEvent *>(event);
                // Always relative to the press, so the dialog follows the pointer without drift.
                const QPoint offset = mouse->globalPos() - s_pressPosition;
                if (!s_dragging) {
                    if (!WindowPlatform::pastDragDistance(offset))
                        return true;
                    s_dragging = true;
                    if (WindowPlatform::startSystemMove(this, s_pressPosition)) {
                        // The window manager has the pointer until the button goes up.
                        s_pressed = false;
                        return true;
                    }
                }
                move(s_pressGeometry.topLeft() + offset);
                return true;
            }
            break;
        case QEvent::MouseButtonRelease:
            if (static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
                s_pressed = false;
                s_dragging = false;
                return true;
            }
            break;
        case QEvent::Move:
            // Mapped again, the toolkit can take a transient position of the window manager's
            // for the dialog's own, and then believes the dialog is in the screen's corner while
            // it is where it was put (menus and drags then start from the wrong place). Putting
            // it there once more sets the record straight.
            if (m_checkPlacement && isVisible() && pos() != m_placedAt) {
                m_checkPlacement = false;
                QTimer::singleShot(0, this, [this] { move(m_placedAt); });
            }
            break;
        case QEvent::WindowActivate:
            m_checkPlacement = false;
            break;
        default:
            break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void MoveableDialog::centreOverParent()
{
    const QWidget *parent = parentWidget();
    if (!parent)
        return;
    if (!isWindow()) // drawn inside the parent: parent coordinates
        move((parent->width() - width()) / 2, (parent->height() - height()) / 2);
    else
        move(parent->x() + (parent->width() - width()) / 2, parent->y() + (parent->height() - height()) / 2);
    m_placedAt = pos();
    m_checkPlacement = isWindow() && isHidden();
}

void MoveableDialog::centreOverWindow(QWidget *dialog, const QWidget *over)
{
    if (auto *asDialog = qobject_cast<QDialog *>(dialog))
        embedWhereNeeded(asDialog);
    dialog->ensurePolished();
    dialog->adjustSize();
    if (!dialog->isWindow()) {
        const QPoint centre = dialog->parentWidget()->rect().center();
        dialog->move(centre.x() - dialog->width() / 2, centre.y() - dialog->height() / 2);
        return;
    }
    const QPoint centre = over->window()->frameGeometry().center();
    dialog->move(centre.x() - dialog->width() / 2, centre.y() - dialog->height() / 2);
}
