#pragma once

#include <QObject>
#include <QString>

class QMimeData;
class QWidget;

// Lets a window take resources dropped on it: a .torrent file from the file manager, or text that
// holds a resource hash (a magnet link dragged from the browser). Anything else is refused while it
// is dragged, so the desktop shows that it would not be taken.
class ResourceDrop : public QObject
{
    Q_OBJECT

public:
    // Installs itself on the window and makes it accept drops.
    explicit ResourceDrop(QWidget *window);

    // The input the parse page takes for what is dragged, or empty when it holds none.
    static QString inputFrom(const QMimeData *mime);

    bool eventFilter(QObject *watched, QEvent *event) override;

signals:
    void dropped(const QString &input);
};
