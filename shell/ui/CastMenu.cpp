#include "shell/ui/CastMenu.h"

#include "resources/CastSession.h"

#include <QMenu>
#include <QPointer>
#include <QTimer>
#include <QWidget>

CastMenu::CastMenu(CastSession *session, QWidget *window)
    : QObject(window)
    , m_session(session)
    , m_window(window)
{ }

QMenu *CastMenu::build(QWidget *parent)
{
    auto *menu = new QMenu(tr("投屏"), parent);
    menu->setObjectName(QStringLiteral("castMenu"));
    fill(menu);
    connect(menu, &QMenu::aboutToShow, menu, [this] { m_session->search(); });
    connect(m_session, &CastSession::devicesChanged, menu, [this, menu] { fill(menu); });
    connect(m_session, &CastSession::castingChanged, menu, [this, menu] { fill(menu); });
    return menu;
}

void CastMenu::fill(QMenu *menu)
{
    menu->clear();
    CastSession *session = m_session;
    // Whatever is chosen acts once the menu has closed: a cast waits for the renderer.
    const auto later = [session](auto &&act) { return [session, act] { QTimer::singleShot(0, session, act); }; };
    const QList<RendererDevice> devices = session->devices();
    const bool canCast = session->canCast();
    if (!devices.isEmpty() && !canCast)
        menu->addAction(tr("播放视频后可投屏"))->setEnabled(false);
    for (const RendererDevice &device : devices) {
        QAction *action = menu->addAction(device.name);
        action->setShortcut(QKeySequence());
        action->setToolTip(device.address);
        action->setCheckable(true);
        action->setChecked(session->isCasting() && device.id == session->rendererId());
        action->setEnabled(canCast);
        const QString id = device.id;
        connect(action, &QAction::triggered, menu, later([session, id] { session->castTo(id); }));
    }
    if (devices.isEmpty()) {
        QString state;
        switch (session->searchState()) {
        case CastSession::NothingFound:
            state = tr("未找到设备");
            break;
        case CastSession::Unavailable:
            state = tr("投屏组件不可用");
            break;
        default:
            state = tr("正在搜索设备...");
            break;
        }
        menu->addAction(state)->setEnabled(false);
    }
    menu->addSeparator();
    connect(menu->addAction(tr("刷新")), &QAction::triggered, menu, [session] { session->search(); });
    if (session->isCasting())
        connect(menu->addAction(tr("停止投屏")), &QAction::triggered, menu,
                later([session] { session->stopCasting(); }));
}

void CastMenu::popUpAbove(const QPoint &globalPosition)
{
    // Gone when it closes; guarded, as the window (its parent) may go while it waits.
    QPointer<QMenu> menu = build(m_window);
    menu->ensurePolished();
    menu->exec(globalPosition - QPoint(0, menu->sizeHint().height()));
    delete menu;
}
