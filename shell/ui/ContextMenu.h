#pragma once

#include <QObject>
#include <QPoint>

class CastMenu;
class PictureSoundOptions;
class PlaySession;
class QMenu;
class QWidget;

// The video area's right-click menu: the program's commands and the picture and sound options,
// with the current choices checked. Made anew at each opening from what is stored, so it never
// shows a stale check mark; the options act through PictureSoundOptions, the dialogs it asks for.
class ContextMenu : public QObject
{
    Q_OBJECT

public:
    // window: where the menu opens (its positions are in that window's coordinates).
    ContextMenu(PictureSoundOptions *pictureSound, QWidget *window);

    // The playing file's entries (episodes, tracks, speed, screenshot); none without a session.
    void setPlaySession(PlaySession *session) { m_session = session; }
    // The "投屏" submenu; none without it.
    void setCastMenu(CastMenu *cast) { m_cast = cast; }

    // The menu as it opens now; the caller owns it. Its actions act when triggered.
    QMenu *build(QWidget *parent);

public slots:
    // Runs the menu at that point of the window until the user chooses or leaves it.
    void open(const QPoint &windowPosition);

signals:
    // A page of the resource dialog ("parsePage", "playRecordPage", "collectionPage", "downloadPage").
    void resourcePageRequested(const QString &pageName);
    void settingsRequested();  // "软件设置" and "色彩调整"
    void subtitlesRequested(); // "字幕设置"

private:
    void addPlaybackEntries(QMenu *menu);

    PictureSoundOptions *m_pictureSound;
    PlaySession *m_session = nullptr;
    CastMenu *m_cast = nullptr;
    QWidget *m_window;
};
