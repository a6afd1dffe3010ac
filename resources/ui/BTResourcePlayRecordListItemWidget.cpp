#include "resources/ui/BTResourcePlayRecordListItemWidget.h"

#include <QEvent>

BTResourcePlayRecordListItemWidget::BTResourcePlayRecordListItemWidget(const BTResourceFile &file, QWidget *parent)
    : QWidget(parent)
    , m_file(file)
{
    setupUi(this);
    fileNameLabel->setText(file.fileName);
    fileNameLabel->setToolTip(file.fileName);
    connect(playPushButton, &QPushButton::clicked, this, &BTResourcePlayRecordListItemWidget::playPushButton_clicked);
    connect(deletePushButton, &QPushButton::clicked, this, &BTResourcePlayRecordListItemWidget::deletePushButton_clicked);
}

void BTResourcePlayRecordListItemWidget::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslateUi(this);
    QWidget::changeEvent(event);
}
