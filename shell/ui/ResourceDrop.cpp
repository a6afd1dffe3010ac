#include "shell/ui/ResourceDrop.h"

#include "resources/protocol/ResourceInput.h"

#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

ResourceDrop::ResourceDrop(QWidget *window)
    : QObject(window)
{
    window->setAcceptDrops(true);
    window->installEventFilter(this);
}

QString ResourceDrop::inputFrom(const QMimeData *mime)
{
    if (!mime)
        return QString();
    QString link;
    for (const QUrl &url : mime->urls()) {
        const QString path = url.toLocalFile();
        if (path.endsWith(QLatin1String(".torrent"), Qt::CaseInsensitive))
            return path;
        // A magnet link dragged from a browser, which may come without a text form.
        if (link.isEmpty() && !url.isLocalFile() && containsResourceHash(url.toString()))
            link = url.toString();
    }
    if (!link.isEmpty())
        return link;
    const QString text = mime->text().trimmed();
    return containsResourceHash(text) ? text : QString();
}

bool ResourceDrop::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto *drag = static_cast<QDragMoveEvent *>(event);
        if (inputFrom(drag->mimeData()).isEmpty())
            drag->ignore();
        else
            drag->acceptProposedAction();
        return true;
    }
    case QEvent::Drop: {
        auto *drop = static_cast<QDropEvent *>(event);
        const QString input = inputFrom(drop->mimeData());
        if (input.isEmpty()) {
            drop->ignore();
            return true;
        }
        drop->acceptProposedAction();
        emit dropped(input);
        return true;
    }
    default:
        return QObject::eventFilter(watched, event);
    }
}
