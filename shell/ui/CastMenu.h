#pragma once

#include <QObject>
#include <QPoint>

class CastSession;
class QMenu;
class QWidget;

// The "投屏" menu: the renderers found on the network, the one playing checked, "刷新" and
// "停止投屏". Opening it starts a search; it fills while it is open, as renderers answer.
class CastMenu : public QObject
{
    Q_OBJECT

public:
    CastMenu(CastSession *session, QWidget *window);

    // The menu as it opens now, owned by parent (the context menu takes it as a submenu).
    QMenu *build(QWidget *parent);

public slots:
    // Runs the menu on its own with its bottom-left corner at that point (the tool bar's button).
    void popUpAbove(const QPoint &globalPosition);

private:
    void fill(QMenu *menu);

    CastSession *m_session;
    QWidget *m_window;
};
