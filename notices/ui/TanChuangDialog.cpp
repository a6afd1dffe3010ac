#include "notices/ui/TanChuangDialog.h"

#include <QDesktopServices>
#include <QImage>
#include <QMouseEvent>
#include <QPixmap>
#include <QTimer>
#include <QUrl>
#include <QEvent>

TanChuangDialog::TanChuangDialog(const PopupNotice &notice, QWidget *parent)
    : MoveableDialog(parent, Qt::FramelessWindowHint)
    , m_notice(notice)
{
    setupUi(this);
    clientWidget->installEventFilter(this);
    connect(closePushButton, &QPushButton::clicked, this, &QWidget::close);
    connect(nextImagePushButton, &QPushButton::clicked, this, &TanChuangDialog::nextImagePushButtonClicked);
    connect(previousImagePushButton, &QPushButton::clicked, this, &TanChuangDialog::previousImagePushButtonClicked);

    if (!enabled())
        return;
    showImage(0);
    if (m_notice.images.size() == 1) {
        previousImagePushButton->hide();
        nextImagePushButton->hide();
    } else {
        m_carousel = new QTimer(this);
        connect(m_carousel, &QTimer::timeout, this, &TanChuangDialog::nextImagePushButtonClicked);
        m_carousel->start(5000);
    }
}

bool TanChuangDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == clientWidget && event->type() == QEvent::MouseButtonPress
        && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        // Web links only: the service must not be able to open local files or other programs.
        const QUrl link(m_notice.links.value(m_currentIndex), QUrl::TolerantMode);
        if (link.scheme() == QLatin1String("http") || link.scheme() == QLatin1String("https"))
            QDesktopServices::openUrl(link);
        return true;
    }
    return MoveableDialog::eventFilter(watched, event);
}

void TanChuangDialog::showImage(int index)
{
    // Drawn unscaled from the top-left corner; an image that does not decode leaves it empty.
    QPalette palette = clientWidget->palette();
    palette.setBrush(clientWidget->backgroundRole(), QBrush(QPixmap::fromImage(QImage::fromData(m_notice.images.value(index)))));
    clientWidget->setPalette(palette);
}

void TanChuangDialog::nextImagePushButtonClicked()
{
    if (!enabled())
        return;
    m_currentIndex = m_currentIndex + 1 >= m_notice.images.size() ? 0 : m_currentIndex + 1;
    showImage(m_currentIndex);
}

void TanChuangDialog::previousImagePushButtonClicked()
{
    if (!enabled())
        return;
    m_currentIndex = (m_currentIndex == 0 ? m_notice.images.size() : m_currentIndex) - 1;
    showImage(m_currentIndex);
}

QAbstractButton *TanChuangDialog::escapeButton() const { return closePushButton; }

void TanChuangDialog::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslateUi(this);
    MoveableDialog::changeEvent(event);
}
