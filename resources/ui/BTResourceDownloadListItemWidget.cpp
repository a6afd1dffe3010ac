#include "resources/ui/BTResourceDownloadListItemWidget.h"

#include "resources/DownloadTransfer.h"
#include "resources/FileSizeText.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QTimer>
#include <QUrl>

BTResourceDownloadListItemWidget::BTResourceDownloadListItemWidget(const BTResourceFile &file,
                                                                   const QString &directory, Start start,
                                                                   QWidget *parent)
    : QWidget(parent)
    , m_file(file)
    , m_directory(directory)
    , m_transfer(new DownloadTransfer(file, directory, this))
{
    setupUi(this);
    fileNameLabel->setText(m_file.fileName);
    fileNameLabel->setToolTip(m_file.fileName);
    fileSizeLabel->setText(fileSizeText(m_file.fileSize));
    resumePushButton->hide();

    connect(m_transfer, &DownloadTransfer::progressText, this, [this](const QString &text) {
        m_stateSource = nullptr;
        downloadProgressLabel->setText(text);
    });
    connect(m_transfer, &DownloadTransfer::progress, this, &BTResourceDownloadListItemWidget::showProgress);
    connect(m_transfer, &DownloadTransfer::speedText, downloadSpeedLabel, &QLabel::setText);
    connect(m_transfer, &DownloadTransfer::finished, this,
            &BTResourceDownloadListItemWidget::transferFinished);
    connect(deletePushButton, &QPushButton::clicked, this,
            &BTResourceDownloadListItemWidget::deletePushButton_clicked);
    connect(resumePushButton, &QPushButton::clicked, this,
            &BTResourceDownloadListItemWidget::resumePushButton_clicked);
    connect(openFolderPushButton, &QPushButton::clicked, this,
            &BTResourceDownloadListItemWidget::openFolderPushButton_clicked);

    if (start == Start::Now) {
        QTimer::singleShot(100, this, &BTResourceDownloadListItemWidget::downloadFile);
    } else {
        showProgress(m_transfer->partPercent());
        showStopped(QT_TR_NOOP("下载中断"));
    }
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

void BTResourceDownloadListItemWidget::resumePushButton_clicked()
{
    if (m_transfer->canResume())
        emit resumeFile(this);
}

void BTResourceDownloadListItemWidget::openFolderPushButton_clicked()
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(m_transfer->finalPath()).absolutePath()));
}

void BTResourceDownloadListItemWidget::showResolving()
{
    resumePushButton->hide();
    downloadProgressLabel->setToolTip(QString());
    showState(QT_TR_NOOP("正在解析"));
}

void BTResourceDownloadListItemWidget::showResolveFailed(const QString &reason)
{
    showStopped(QT_TR_NOOP("下载失败"));
    downloadProgressLabel->setToolTip(reason);
}

void BTResourceDownloadListItemWidget::resume(const BTResourceFile &resolved)
{
    if (!m_transfer->canResume())
        return;
    m_file = resolved;
    resumePushButton->hide();
    downloadProgressLabel->setToolTip(QString());
    m_transfer->resume(resolved);
}

void BTResourceDownloadListItemWidget::setResumeEnabled(bool enabled)
{
    resumePushButton->setEnabled(enabled);
}

void BTResourceDownloadListItemWidget::transferFinished(bool succeeded)
{
    if (succeeded) {
        showState(QT_TR_NOOP("下载完成"));
        downloadProgressBar->setValue(downloadProgressBar->maximum());
        deletePushButton->setEnabled(false);
    } else {
        showStopped(QT_TR_NOOP("下载失败"));
    }
}

void BTResourceDownloadListItemWidget::showProgress(double percent)
{
    downloadProgressBar->setValue(int(qBound(0.0, percent, 100.0) * 100));
}

void BTResourceDownloadListItemWidget::showState(const char *text)
{
    m_stateSource = text;
    downloadProgressLabel->setText(tr(text));
}

void BTResourceDownloadListItemWidget::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange) {
        retranslateUi(this);
        if (m_stateSource)
            downloadProgressLabel->setText(tr(m_stateSource));
    }
    QWidget::changeEvent(event);
}

void BTResourceDownloadListItemWidget::showStopped(const char *text)
{
    showState(text);
    downloadSpeedLabel->clear();
    resumePushButton->setVisible(m_transfer->canResume());
}
