#pragma once

#include "app/ui/MoveableDialog.h"
#include "resources/BTResourceFile.h"
#include "resources/PlayRecordStore.h"
#include "ui_BTResourceFunctionDialog.h"

#include <QStringList>

class BTResourceCollectionListItemWidget;
class BTResourceDownloadListItemWidget;
class BTResourceParseResultListItemWidget;
class BTResourcePlayRecordListItemWidget;
class HostProbe;
class QTimer;

// The one window through which resources enter the program: the parse page (resource input, file
// list, address resolution for play and download), play records, collections and downloads.
class BTResourceFunctionDialog : public MoveableDialog, private Ui::BTResourceFunctionDialog
{
    Q_OBJECT

public:
    // The one dialog, created on first use over the main window and re-centred on every call.
    static BTResourceFunctionDialog *instance();
    ~BTResourceFunctionDialog() override;

    // Makes the named page current and shows the dialog if it is hidden.
    void showPage(const QString &pageName);
    void setClipboardMonitorEnabled(bool on);

    bool isBusy() const { return m_busy; }
    BTResourceFile currentResource() const { return m_currentResource; }
    QStringList videoDomains() const { return m_videoDomains; }

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

private:
    explicit BTResourceFunctionDialog(QWidget *parent);

    void connectForm();
    void setInputsEnabled(bool enabled);
    void enterBusyState();
    void leaveBusyState();
    void setParseButtonAborts(bool aborts);
    void onClipboardTick();

    void addParseRow(const BTResourceFile &file);
    QList<BTResourceParseResultListItemWidget *> parseRows() const;
    bool resolveFileHash(BTResourceParseResultListItemWidget *row);
    bool resolveFileInfo(BTResourceParseResultListItemWidget *row, bool reload);
    // Tries the hosts until one is accepted; false when none is (or the user aborted: *aborted).
    bool probeHosts(HostProbe *probe, const QStringList &hosts, const BTResourceFile &file, bool play,
                    QString *acceptedUrl, bool *aborted);
    void showVipOnly(const QString &title);

    // The file that opened in the engine: recorded at the top of the play records.
    void recordOpenedFile(const BTResourceFile &file);
    void addPlayRecordRow(const BTResourceFile &file, int row);
    // Parses the resource and plays its file of that index, as the file's play button would.
    void replay(const QString &resourceHash, quint32 resourceIndex);

    void addCollectionRow(const BTResourceFile &file, quint32 id);
    void startDownload(const BTResourceFile &file);

    bool m_busy = false;
    QStringList m_videoDomains;
    BTResourceFile m_currentResource;
    QString m_cachePath;
    PlayRecordStore m_records;
    QTimer *m_clipboardTimer = nullptr;
    QString m_lastClipboardText;
};
