#pragma once

#include "app/ui/MoveableDialog.h"
#include "resources/BTResourceFile.h"
#include "resources/DownloadRecordStore.h"
#include "resources/PlayRecordStore.h"
#include "ui_BTResourceFunctionDialog.h"

#include <QElapsedTimer>
#include <QStringList>

#include <functional>

class AccountSession;
class BTResourceCollectionListItemWidget;
class BTResourceDownloadListItemWidget;
class BTResourceParseResultListItemWidget;
class BTResourcePlayRecordListItemWidget;
class PlaybackController;
class PlayRequest;
class QTimer;
class PlayPositionStore;
class ServiceClient;

// The one window through which resources enter the program: the parse page (resource input, file
// list, address resolution for play and download, rendered from the play request), play records,
// collections and downloads.
class BTResourceFunctionDialog : public MoveableDialog, private Ui::BTResourceFunctionDialog
{
    Q_OBJECT

public:
    BTResourceFunctionDialog(ServiceClient *client, AccountSession *session, PlaybackController *playback,
                             PlayRequest *request, QWidget *parent);
    QAbstractButton *escapeButton() const override;
    ~BTResourceFunctionDialog() override;

    // The one dialog, created on first use over the main window and re-centred on every call.
    static BTResourceFunctionDialog *instance();

    // What the dialog shows when it is first made: today's video hosts, the play records and the
    // collections (the last two wait for the service).
    void loadLists();

    // Makes the named page current and shows the dialog if it is hidden.
    void showPage(const QString &pageName);
    void setClipboardMonitorEnabled(bool on);
    // The play records mark the files it keeps a position of, and follow its changes.
    void setPositionStore(PlayPositionStore *positions);

    bool isBusy() const;
    // Shows the parse page with the input (a magnet link, hash text or torrent path) and parses it,
    // also when it is the text the page holds already. Not while busy.
    void parseInput(const QString &input);
    BTResourceFile currentResource() const { return m_currentResource; }
    QStringList videoDomains() const;

    // The engine cache folder of VIP accounts.
    static QString cacheFolder();

signals:
    // Aborts the running address search.
    void stopParseBTResource();

private slots:
    void parsePageEngineComboBox_currentIndexChanged(int index);
    void parsePageParseBTResourcePushButton_clicked();
    void parsePageBrowseBTFilePushButton_clicked();
    void parsePageParseReportPushButton_clicked();
    void parsePageParseResultListItemWidgetDownloadPushButton_clicked(BTResourceParseResultListItemWidget *widget);
    void parsePageParseResultListItemWidgetPlayPushButton_clicked(BTResourceParseResultListItemWidget *widget,
                                                                   bool reload);
    void playRecordPageRandomPlayPushButton_clicked();
    void playRecordPageFlushRecordListPushButton_clicked();
    void playRecordPageClearRecordListPushButton_clicked();
    void playRecordPagePlayRecordListWidgetPlayPushButton_clicked(BTResourcePlayRecordListItemWidget *widget);
    void playRecordPagePlayRecordListWidgetDeletePushButton_clicked(BTResourcePlayRecordListItemWidget *widget);
    void collectionPageCollectNowPlayingResourcePushButton_clicked();
    void collectionPageFlushCollectionListPushButton_clicked();
    void collectionPageCollectionListWidgetPlayPushButton_clicked(BTResourceCollectionListItemWidget *widget);
    void collectionPageCollectionListWidgetCopyButton_clicked(BTResourceCollectionListItemWidget *widget);
    void collectionPageCollectionListWidgetDeleteButton_clicked(BTResourceCollectionListItemWidget *widget);
    void downloadPageSelectDownloadDirectroryPushButton_clicked();
    void downloadPageDownloadListWidgetDeletePushButton_clicked(BTResourceDownloadListItemWidget *widget);
    // A fresh address through the download path, then the row goes on from its part file.
    void downloadPageDownloadListWidgetResumePushButton_clicked(BTResourceDownloadListItemWidget *widget);

protected:
    // A new interface language: the form's texts, the parse button's and the state text again.
    void changeEvent(QEvent *event) override;

private:
    void connectForm();
    void connectRequest();
    void setInputsEnabled(bool enabled);
    // The busy state of the play request: inputs off and the clipboard monitor paused meanwhile.
    void showBusy(bool busy);
    void setParseButtonAborts(bool aborts);
    // The parse page's state text, made again in the language in force when that changes.
    void showState(const std::function<QString()> &text);
    // Brings the parse page up, centred over the main window when it was hidden.
    void showParsePage();
    void onClipboardTick();

    void addParseRow(const BTResourceFile &file);
    QList<BTResourceParseResultListItemWidget *> parseRows() const;
    void showVipOnly(const QString &title);

    // The file that opened in the engine: recorded at the top of the play records.
    void recordOpenedFile(const BTResourceFile &file);
    void addPlayRecordRow(const BTResourceFile &file, int row);
    // Parses the resource and plays its file of that index, as the file's play button would.
    void replay(const QString &resourceHash, quint32 resourceIndex);

    void addCollectionRow(const BTResourceFile &file, quint32 id);
    void startDownload(const BTResourceFile &file);
    // Downloads an earlier run left unfinished, listed again to be resumed.
    void listUnfinishedDownloads();
    void addDownloadRow(BTResourceDownloadListItemWidget *widget);
    QList<BTResourceDownloadListItemWidget *> downloadRows() const;

    ServiceClient *m_client;
    AccountSession *m_session;
    PlaybackController *m_playback;
    PlayRequest *m_request;
    BTResourceFile m_currentResource;
    PlayRecordStore m_records;
    PlayPositionStore *m_positions = nullptr;
    DownloadRecordStore m_downloads;
    // How long a failure message stays before the clipboard monitor may replace it.
    static constexpr int FailureReadingMs = 5000;
    QTimer *m_clipboardTimer = nullptr;
    QElapsedTimer m_idleSince; // since the last operation ended
    QString m_lastClipboardText;
    std::function<QString()> m_stateText;
    bool m_parseAborts = false;
};
