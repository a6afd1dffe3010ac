#include "resources/ui/BTResourceCollectionListItemWidget.h"

#include <QEvent>

BTResourceCollectionListItemWidget::BTResourceCollectionListItemWidget(const BTResourceFile &file, quint32 id,
                                                                       QWidget *parent)
    : QWidget(parent)
    , m_file(file)
    , m_id(id)
{
    setupUi(this);
    fileNameLabel->setText(file.fileName);
    fileNameLabel->setToolTip(file.fileName);
    connect(playPushButton, &QPushButton::clicked, this, &BTResourceCollectionListItemWidget::playPushButton_clicked);
    connect(copyURLPushButton, &QPushButton::clicked, this, &BTResourceCollectionListItemWidget::copyURLPushButtonClicked);
    connect(deletePushButton, &QPushButton::clicked, this, &BTResourceCollectionListItemWidget::deletePushButton_clicked);
}

void BTResourceCollectionListItemWidget::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslateUi(this);
    QWidget::changeEvent(event);
}
