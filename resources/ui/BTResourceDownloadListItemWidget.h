#pragma once

#include "resources/BTResourceFile.h"
#include "ui_BTResourceDownloadListItemWidget.h"

#include <QWidget>

class DownloadTransfer;

// One row of the download page: the file's name and size, then the progress and rate of its
// transfer, which starts 100 ms after the row is made. The delete button stops the transfer and
// removes its part file; the dialog takes the row out of its list (and must delete it later,
// not inside the signal).
class BTResourceDownloadListItemWidget : public QWidget, private Ui::BTResourceDownloadListItemWidget
{
    Q_OBJECT

public:
    BTResourceDownloadListItemWidget(const BTResourceFile &file, const QString &directory,
                                     QWidget *parent = nullptr);
    ~BTResourceDownloadListItemWidget() override;

    const BTResourceFile &file() const { return m_file; }
    DownloadTransfer *transfer() const { return m_transfer; }

signals:
    void deleteFile(BTResourceDownloadListItemWidget *widget);

public slots:
    void downloadFile();
    void deletePushButton_clicked();

private:
    void transferFinished(bool succeeded);

    BTResourceFile m_file;
    DownloadTransfer *m_transfer = nullptr;
};
