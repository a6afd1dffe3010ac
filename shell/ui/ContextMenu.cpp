#include "shell/ui/ContextMenu.h"

#include "app/AppConfig.h"
#include "player/PictureSoundOptions.h"

#include <QActionGroup>
#include <QDesktopServices>
#include <QMenu>
#include <QPointer>
#include <QUrl>
#include <QWidget>

ContextMenu::ContextMenu(PictureSoundOptions *pictureSound, QWidget *window)
    : QObject(window)
    , m_pictureSound(pictureSound)
    , m_window(window)
{
}

QMenu *ContextMenu::build(QWidget *parent)
{
    auto *menu = new QMenu(parent);
    // Every entry without a shortcut: the window's keys belong to playback.
    const auto item = [menu](QMenu *into, const QString &text, auto &&handler) {
        QAction *action = into->addAction(text);
        action->setShortcut(QKeySequence());
        connect(action, &QAction::triggered, menu, handler);
        return action;
    };
    const auto page = [this](const char *name) {
        return [this, name] { emit resourcePageRequested(QLatin1String(name)); };
    };

    item(menu, QStringLiteral("打开URL"), page("parsePage"));
    item(menu, QStringLiteral("播放记录"), page("playRecordPage"));
    item(menu, QStringLiteral("资源收藏"), page("collectionPage"));
    item(menu, QStringLiteral("视频下载"), page("downloadPage"));
    menu->addSeparator();
    item(menu, QStringLiteral("软件设置"), [this] { emit settingsRequested(); });
    item(menu, QStringLiteral("字幕设置"), [this] { emit subtitlesRequested(); });
    menu->addSeparator();

    PictureSoundOptions *options = m_pictureSound;
    // One submenu per exclusive group; a stored value no entry stands for checks none of them.
    const auto group = [&](const QString &title, PictureSoundOptions::Group which) {
        QMenu *submenu = menu->addMenu(title);
        auto *actions = new QActionGroup(submenu);
        actions->setExclusive(true);
        const QString stored = PictureSoundOptions::storedChoice(which);
        for (const PictureSoundOptions::Choice &choice : PictureSoundOptions::choices(which)) {
            const QString value = choice.stored;
            QAction *action = item(submenu, choice.text, [options, which, value] { options->choose(which, value); });
            action->setCheckable(true);
            action->setChecked(value == stored);
            actions->addAction(action);
        }
    };
    group(QStringLiteral("视频比例"), PictureSoundOptions::AspectRatio);
    group(QStringLiteral("声道模式"), PictureSoundOptions::AudioChannel);
    item(menu, QStringLiteral("色彩调整"), [this] { emit settingsRequested(); });
    QAction *enhancement = item(menu, QStringLiteral("画质增强"), [options] { options->toggleImageEnhancement(); });
    enhancement->setCheckable(true);
    enhancement->setChecked(PictureSoundOptions::storedImageEnhancement());
    group(QStringLiteral("渲染模式"), PictureSoundOptions::RenderMode);
    menu->addSeparator();
    item(menu, QStringLiteral("进入官网"),
         [] { QDesktopServices::openUrl(QUrl(AppConfig::serviceBase() + QStringLiteral("?r=www"))); });
    return menu;
}

void ContextMenu::open(const QPoint &windowPosition)
{
    // Gone when it closes, whatever was chosen; the chosen action has run by then. Guarded: the
    // window (its parent) may go while the menu waits.
    QPointer<QMenu> menu = build(m_window);
    menu->exec(m_window->mapToGlobal(windowPosition));
    delete menu;
}
