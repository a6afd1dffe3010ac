#include "player/ui/CastNotice.h"

#include <QEvent>

CastNotice::CastNotice(QWidget *page)
    : QLabel(page)
{
    setObjectName(QStringLiteral("castNotice"));
    setStyleSheet(QStringLiteral("QLabel#castNotice{ background: rgba(0, 0, 0, 180); color: white; "
                                 "border-radius: 6px; padding: 12px 18px; font-size: 16px; }"));
    setTextFormat(Qt::RichText);
    setAlignment(Qt::AlignCenter);
    setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    setFocusPolicy(Qt::NoFocus);
    connect(this, &QLabel::linkActivated, this, &CastNotice::linkChosen);
    page->installEventFilter(this);
    hide();
}

void CastNotice::showNotice(const QString &text, const QString &linkText)
{
    if (text.isEmpty()) {
        hide();
        return;
    }
    QString html = text.toHtmlEscaped();
    if (!linkText.isEmpty())
        html += QStringLiteral("<br/><a href=\"cast\" style=\"color: rgb(57, 166, 240);\">%1</a>")
                    .arg(linkText.toHtmlEscaped());
    setText(html);
    adjustSize();
    place();
    raise();
    show();
}

bool CastNotice::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize)
        place();
    return QLabel::eventFilter(watched, event);
}

void CastNotice::place()
{
    const QWidget *page = parentWidget();
    move((page->width() - width()) / 2, (page->height() - height()) / 2);
}
