#pragma once

#include "resources/BTResourceFile.h"
#include "ui_BTResourceDownloadListItemWidget.h"

#include <QWidget>

class DownloadTransfer;

// One row of the download page: the file's name and size, then the progress (text and bar) and
// rate of its transfer, which starts 100 ms after the row is made, or waits for the resume button
// when the row lists a download left unfinished by an earlier run. A failed row can be resumed;
// the dialog finds the new address and hands it to resume(). The delete button stops the transfer
// and removes its part file; the dialog takes the row out of its list (and must delete it later,
// not inside the signal).
class BTResourceDownloadListItemWidget : public QWidget, private Ui::BTResourceDownloadListItemWidget
{
    Q_OBJECT

public:
    enum class Start { Now, OnResume };

    BTResourceDownloadListItemWidget(const BTResourceFile &file, const QString &directory, Start start = Start::Now,
                                     QWidget *parent = nullptr);
    ~BTResourceDownloadListItemWidget() override;

    const BTResourceFile &file() const { return m_file; }
    QString directory() const { return m_directory; }
    DownloadTransfer *transfer() const { return m_transfer; }

    // While the dialog looks for a new address; the resume button waits meanwhile.
    void showResolving();
    // No address was found: the row is back to failed, with the reason as the label's tool tip.
    void showResolveFailed(const QString &reason);
    // Goes on from the part file with the resolved file (its address and sizes).
    void resume(const BTResourceFile &resolved);
    // Off while the dialog is busy with another resolution.
    void setResumeEnabled(bool enabled);

signals:
    void deleteFile(BTResourceDownloadListItemWidget *widget);
    void resumeFile(BTResourceDownloadListItemWidget *widget);

public slots:
    void downloadFile();
    void deletePushButton_clicked();
    void resumePushButton_clicked();
    void openFolderPushButton_clicked();

protected:
    void changeEvent(QEvent *event) override;

private:
    void transferFinished(bool succeeded);
    void showProgress(double percent);
    // The row's own words for its state (QT_TR_NOOP), kept so that they follow the language.
    void showState(const char *text);
    void showStopped(const char *text);

    BTResourceFile m_file;
    QString m_directory;
    DownloadTransfer *m_transfer = nullptr;
    const char *m_stateSource = nullptr; // null while the label shows the transfer's percentage
};
