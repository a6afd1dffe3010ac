#include "shell/ui/ContextMenu.h"

#include "app/AppConfig.h"
#include "player/PictureSoundOptions.h"
#include "resources/PlaySession.h"
#include "shell/ui/CastMenu.h"

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

    item(menu, tr("打开URL"), page("parsePage"));
    item(menu, tr("播放记录"), page("playRecordPage"));
    item(menu, tr("资源收藏"), page("collectionPage"));
    item(menu, tr("视频下载"), page("downloadPage"));
    menu->addSeparator();
    item(menu, tr("软件设置"), [this] { emit settingsRequested(); });
    item(menu, tr("字幕设置"), [this] { emit subtitlesRequested(); });
    menu->addSeparator();
    if (m_cast) {
        menu->addMenu(m_cast->build(menu));
        menu->addSeparator();
    }
    addPlaybackEntries(menu);

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
    group(tr("视频比例"), PictureSoundOptions::AspectRatio);
    group(tr("声道模式"), PictureSoundOptions::AudioChannel);
    item(menu, tr("色彩调整"), [this] { emit settingsRequested(); });
    QAction *enhancement = item(menu, tr("画质增强"), [options] { options->toggleImageEnhancement(); });
    enhancement->setCheckable(true);
    enhancement->setChecked(PictureSoundOptions::storedImageEnhancement());
    group(tr("渲染模式"), PictureSoundOptions::RenderMode);
    menu->addSeparator();
    item(menu, tr("进入官网"),
         [] { QDesktopServices::openUrl(QUrl(AppConfig::serviceBase() + QStringLiteral("?r=www"))); });
    return menu;
}

void ContextMenu::addPlaybackEntries(QMenu *menu)
{
    // Only what applies to what plays, so that the menu stays short.
    PlaySession *session = m_session;
    if (!session || !session->isMediaOpen())
        return;
    const auto add = [menu](QMenu *into, const QString &text, auto &&handler) {
        QAction *action = into->addAction(text);
        action->setShortcut(QKeySequence());
        connect(action, &QAction::triggered, menu, handler);
        return action;
    };
    if (session->hasFile()) {
        QMenu *episodes = menu->addMenu(tr("剧集"));
        add(episodes, tr("上一集"), [session] { session->playPrevious(); });
        add(episodes, tr("下一集"), [session] { session->playNext(); });
        QAction *autoNext = add(episodes, tr("自动播放下一集"),
                                [](bool on) { PlaySession::setAutoPlayNext(on); });
        autoNext->setCheckable(true);
        autoNext->setChecked(PlaySession::autoPlayNext());
    }

    const QList<MediaTrack> tracks = session->tracks();
    const auto trackMenu = [&](const QString &title, MediaTrack::Kind kind, const QString &offText) {
        QMenu *submenu = nullptr;
        QActionGroup *group = nullptr;
        bool anySelected = false;
        for (const MediaTrack &track : tracks) {
            if (track.kind != kind)
                continue;
            if (!submenu) {
                submenu = menu->addMenu(title);
                group = new QActionGroup(submenu);
            }
            QStringList parts;
            if (!track.title.isEmpty())
                parts << track.title;
            if (!track.language.isEmpty())
                parts << QStringLiteral("[%1]").arg(track.language);
            if (parts.isEmpty())
                parts << QStringLiteral("%1 %2").arg(kind == MediaTrack::Audio ? tr("音轨") : tr("字幕"))
                             .arg(track.id);
            const int id = track.id;
            QAction *action = add(submenu, parts.join(QLatin1Char(' ')), [session, kind, id] { session->chooseTrack(kind, id); });
            action->setCheckable(true);
            action->setChecked(track.selected);
            group->addAction(action);
            anySelected = anySelected || track.selected;
        }
        if (submenu && !offText.isEmpty()) {
            QAction *off = add(submenu, offText, [session, kind] { session->chooseTrack(kind, 0); });
            off->setCheckable(true);
            off->setChecked(!anySelected);
            group->addAction(off);
        }
    };
    trackMenu(tr("音轨"), MediaTrack::Audio, QString());
    trackMenu(tr("字幕轨道"), MediaTrack::Subtitle, tr("关闭字幕"));

    QMenu *speeds = menu->addMenu(tr("播放速度"));
    auto *speedGroup = new QActionGroup(speeds);
    const double current = session->speed();
    for (const double speed : PlaySession::speeds()) {
        QAction *action = add(speeds, QStringLiteral("%1×").arg(QString::number(speed)),
                              [session, speed] { session->setSpeed(speed); });
        action->setCheckable(true);
        action->setChecked(qAbs(speed - current) < 0.001);
        speedGroup->addAction(action);
    }
    add(menu, tr("截图"), [session] { session->takeScreenshot(); });
    menu->addSeparator();
}

void ContextMenu::open(const QPoint &windowPosition)
{
    // Gone when it closes, whatever was chosen; the chosen action has run by then. Guarded: the
    // window (its parent) may go while the menu waits.
    QPointer<QMenu> menu = build(m_window);
    menu->exec(m_window->mapToGlobal(windowPosition));
    delete menu;
}
