#include "resources/ui/BTResourceParseResultListItemWidget.h"

#include "resources/FileSizeText.h"

#include <QEvent>

BTResourceParseResultListItemWidget::BTResourceParseResultListItemWidget(const BTResourceFile &file, QWidget *parent)
    : QWidget(parent)
    , m_file(file)
{
    setupUi(this);
    fileNameLabel->setText(file.fileName);
    fileNameLabel->setToolTip(file.fileName);
    fileSizeLabel->setText(fileSizeText(file.fileSize));
    connect(playPushButton, &QPushButton::clicked, this, &BTResourceParseResultListItemWidget::playPushButton_clicked);
    connect(reloadPushButton, &QPushButton::clicked, this, &BTResourceParseResultListItemWidget::reloadPushButton_clicked);
    connect(downloadPushButton, &QPushButton::clicked, this,
            &BTResourceParseResultListItemWidget::downloadPushButton_clicked);
}

void BTResourceParseResultListItemWidget::setButtonsEnabled(bool enabled)
{
    playPushButton->setEnabled(enabled);
    downloadPushButton->setEnabled(enabled);
    reloadPushButton->setEnabled(enabled);
}

void BTResourceParseResultListItemWidget::playPushButton_clicked() { emit playFile(this, false); }
void BTResourceParseResultListItemWidget::reloadPushButton_clicked() { emit playFile(this, true); }
void BTResourceParseResultListItemWidget::downloadPushButton_clicked() { emit downloadFile(this); }

void BTResourceParseResultListItemWidget::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslateUi(this);
    QWidget::changeEvent(event);
}
