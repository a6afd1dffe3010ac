#include "resources/ui/BTResourcePlayRecordListItemWidget.h"

#include "resources/PlaySession.h"

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
    m_nameWidth = fileNameLabel->width();
    showKeptPosition();
}

void BTResourcePlayRecordListItemWidget::setKeptPosition(int ms)
{
    if (ms == m_keptMs)
        return;
    m_keptMs = ms;
    showKeptPosition();
}

void BTResourcePlayRecordListItemWidget::showKeptPosition()
{
    keptPositionLabel->setVisible(m_keptMs > 0);
    keptPositionLabel->setText(m_keptMs > 0 ? tr("看到 %1").arg(PlaySession::resumeTimeText(m_keptMs)) : QString());
    // The name gives way to the position.
    fileNameLabel->resize(m_keptMs > 0 ? keptPositionLabel->x() - fileNameLabel->x() - 6 : m_nameWidth,
                          fileNameLabel->height());
}

void BTResourcePlayRecordListItemWidget::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange) {
        retranslateUi(this);
        showKeptPosition();
    }
    QWidget::changeEvent(event);
}
