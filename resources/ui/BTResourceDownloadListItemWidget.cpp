#include "resources/ui/BTResourceDownloadListItemWidget.h"

#include "resources/DownloadTransfer.h"
#include "resources/FileSizeText.h"

#include <QTimer>

BTResourceDownloadListItemWidget::BTResourceDownloadListItemWidget(const BTResourceFile &file,
                                                                   const QString &directory,
                                                                   QWidget *parent)
    : QWidget(parent)
    , m_file(file)
    , m_transfer(new DownloadTransfer(file, directory, this))
{
    setupUi(this);
    fileNameLabel->setText(m_file.fileName);
    fileNameLabel->setToolTip(m_file.fileName);
    fileSizeLabel->setText(fileSizeText(m_file.fileSize));

    connect(m_transfer, &DownloadTransfer::progressText, downloadProgressLabel, &QLabel::setText);
    connect(m_transfer, &DownloadTransfer::speedText, downloadSpeedLabel, &QLabel::setText);
    connect(m_transfer, &DownloadTransfer::finished, this,
            &BTResourceDownloadListItemWidget::transferFinished);
    connect(deletePushButton, &QPushButton::clicked, this,
            &BTResourceDownloadListItemWidget::deletePushButton_clicked);

    QTimer::singleShot(100, this, &BTResourceDownloadListItemWidget::downloadFile);
}

BTResourceDownloadListItemWidget::~BTResourceDownloadListItemWidget()
{
    // Stop a running transfer before the labels it reports to are gone.
    delete m_transfer;
}

void BTResourceDownloadListItemWidget::downloadFile()
{
    m_transfer->start();
}

void BTResourceDownloadListItemWidget::deletePushButton_clicked()
{
    // Stopped first: the dialog may take the row away as soon as it hears of it.
    m_transfer->cancel();
    emit deleteFile(this);
}

void BTResourceDownloadListItemWidget::transferFinished(bool succeeded)
{
    if (succeeded) {
        downloadProgressLabel->setText(QStringLiteral("下载完成"));
        deletePushButton->setEnabled(false);
    } else {
        downloadProgressLabel->setText(QStringLiteral("下载失败"));
    }
}
