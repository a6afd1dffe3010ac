#include "player/ui/VideoNotice.h"

#include <QTimer>

VideoNotice::VideoNotice(QWidget *page)
    : QLabel(page)
    , m_hideTimer(new QTimer(this))
{
    setObjectName(QStringLiteral("videoNotice"));
    setStyleSheet(QStringLiteral("QLabel#videoNotice{ background: rgba(0, 0, 0, 160); color: white; "
                                 "border-radius: 4px; padding: 6px 10px; font-size: 14px; }"));
    setTextFormat(Qt::RichText);
    setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    setFocusPolicy(Qt::NoFocus);
    m_hideTimer->setSingleShot(true);
    m_hideTimer->setInterval(ShownMs);
    connect(m_hideTimer, &QTimer::timeout, this, &QWidget::hide);
    connect(this, &QLabel::linkActivated, this, [this] {
        hide();
        emit startOverRequested();
    });
    hide();
}

void VideoNotice::showNotice(const QString &text, bool startOverOffered)
{
    if (text.isEmpty()) {
        m_hideTimer->stop();
        hide();
        return;
    }
    QString html = text.toHtmlEscaped();
    if (startOverOffered)
        html += QStringLiteral("&nbsp;&nbsp;<a href=\"start-over\" style=\"color: rgb(57, 166, 240);\">%1</a>"
                               "<span style=\"color: rgb(170, 170, 170);\">%2</span>")
                    .arg(tr("从头播放"), tr("（Home）"));
    setText(html);
    adjustSize();
    move(16, 16);
    raise();
    show();
    m_hideTimer->start();
}
