#include "TextFit.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOption>
#include <QTextDocument>

namespace {

// Lines and numbers ("____", "00:00:00") are no words to cut.
bool hasWords(const QString &text)
{
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.isLetter(); });
}

QString withoutMnemonic(QString text)
{
    text.replace(QLatin1String("&&"), QLatin1String("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    return text;
}

QString nameOf(const QWidget *widget)
{
    return widget->objectName().isEmpty() ? QLatin1String(widget->metaObject()->className()) : widget->objectName();
}

// How wide the text's ink reaches from where it starts: its bounding box at the widget's font.
int inkWidth(const QFontMetrics &metrics, const QString &text)
{
    const QRect box = metrics.boundingRect(text);
    return qMax(box.right() + 1, 0) - qMin(box.left(), 0);
}

QString cut(const QWidget *widget, const QString &text, int needs, int has)
{
    return QStringLiteral("%1: %2 (needs %3, has %4)").arg(nameOf(widget), text).arg(needs).arg(has);
}

int buttonContentWidth(const QAbstractButton *button, QStyle::SubElement element)
{
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    option.icon = button->icon();
    option.iconSize = button->iconSize();
    if (auto *push = qobject_cast<const QPushButton *>(button); push && push->isFlat())
        option.features |= QStyleOptionButton::Flat;
    return button->style()->subElementRect(element, &option, button).width();
}

void checkButton(QAbstractButton *button, QStringList *cuts)
{
    const QString text = withoutMnemonic(button->text());
    if (text.trimmed().isEmpty() || !hasWords(text))
        return;
    QStyle::SubElement element = QStyle::SE_PushButtonContents;
    if (qobject_cast<QCheckBox *>(button))
        element = QStyle::SE_CheckBoxContents;
    else if (qobject_cast<QRadioButton *>(button))
        element = QStyle::SE_RadioButtonContents;
    int needs = inkWidth(button->fontMetrics(), text);
    if (!button->icon().isNull() && element == QStyle::SE_PushButtonContents)
        needs += button->iconSize().width() + 4;
    const int has = buttonContentWidth(button, element);
    if (needs > has)
        cuts->append(cut(button, text, needs, has));
}

// Where the label's text leaves ink when the label has room around it, in the label's coordinates:
// the label is widened away from its alignment for the picture, then put back.
QRect inkOf(QLabel *label)
{
    const QRect original = label->geometry();
    const Qt::Alignment alignment = QStyle::visualAlignment(label->layoutDirection(), label->alignment());
    const int dx = 300, dy = 60;
    QRect room = original;
    if (alignment & Qt::AlignLeft)
        room.setRight(room.right() + dx);
    else if (alignment & Qt::AlignRight)
        room.setLeft(room.left() - dx);
    else
        room.adjust(-dx, 0, dx, 0);
    if (alignment & Qt::AlignTop)
        room.setBottom(room.bottom() + dy);
    else if (alignment & Qt::AlignBottom)
        room.setTop(room.top() - dy);
    else
        room.adjust(0, -dy, 0, dy);
    const QSize minimum = label->minimumSize(), maximum = label->maximumSize();
    label->setMinimumSize(0, 0);
    label->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    label->setGeometry(room);
    // Without the background the window would put under it: what is not transparent is ink.
    QImage picture(room.size(), QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::transparent);
    label->render(&picture, QPoint(), QRegion(), QWidget::DrawChildren);
    label->setMinimumSize(minimum);
    label->setMaximumSize(maximum);
    label->setGeometry(original);
    // A label that fills its ground (its own style or one it inherits) shows no ink of its own.
    if (qAlpha(picture.pixel(0, 0)) > 0 || qAlpha(picture.pixel(picture.width() - 1, picture.height() - 1)) > 0)
        return QRect();
    const qreal scale = picture.devicePixelRatio();
    QRect ink;
    for (int y = 0; y < picture.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(picture.constScanLine(y));
        for (int x = 0; x < picture.width(); ++x) {
            if (qAlpha(line[x]) > 0)
                ink |= QRect(int(x / scale), int(y / scale), 1, 1);
        }
    }
    return ink.translated(room.topLeft() - original.topLeft());
}

void checkLabel(QLabel *label, QStringList *cuts)
{
    const QString text = label->text();
    if (text.isEmpty() || !hasWords(text))
        return;
    if (label->wordWrap()) {
        const int needs = label->heightForWidth(label->width());
        if (needs > label->height())
            cuts->append(cut(label, text, needs, label->height()) + QStringLiteral(" high"));
        return;
    }
    const bool rich =
        label->textFormat() == Qt::RichText || (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(text));
    // A rich text as the label lays it out; a plain one by the box of its ink.
    const int needs = rich ? label->sizeHint().width() : inkWidth(label->fontMetrics(), text) + 2 * label->margin();
    const int has = rich ? label->width() : label->contentsRect().width();
    if (needs > has)
        cuts->append(cut(label, text, needs, has));
    // The ink itself, also above and below: a descender under a label too low, a large font.
    if (label->pixmap(Qt::ReturnByValue).isNull()) {
        const QRect ink = inkOf(label);
        if (!ink.isNull() && !label->rect().contains(ink))
            cuts->append(QStringLiteral("%1: %2 (ink %3,%4 %5x%6 outside %7x%8)")
                             .arg(nameOf(label), text)
                             .arg(ink.x())
                             .arg(ink.y())
                             .arg(ink.width())
                             .arg(ink.height())
                             .arg(label->width())
                             .arg(label->height()));
        // Nor may a control beside it cover its ink.
        const QRect inParent = ink.translated(label->pos());
        for (QWidget *sibling : label->parentWidget()
                 ? label->parentWidget()->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)
                 : QList<QWidget *>()) {
            const bool control = qobject_cast<QAbstractButton *>(sibling) || qobject_cast<QComboBox *>(sibling)
                || qobject_cast<QLineEdit *>(sibling)
                || (qobject_cast<QLabel *>(sibling) && hasWords(static_cast<QLabel *>(sibling)->text()));
            if (sibling != label && control && !sibling->isHidden() && !ink.isNull()
                && sibling->geometry().intersects(inParent))
                cuts->append(QStringLiteral("%1: %2 (ink under %3)").arg(nameOf(label), text, nameOf(sibling)));
        }
    }
}

void checkComboBox(QComboBox *box, QStringList *cuts)
{
    QStyleOptionComboBox option;
    option.initFrom(box);
    option.editable = box->isEditable();
    option.frame = box->hasFrame();
    option.subControls = QStyle::SC_All;
    const int has =
        box->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, box).width();
    for (int i = 0; i < box->count(); ++i) {
        const QString text = box->itemText(i);
        const int needs = inkWidth(box->fontMetrics(), text);
        if (hasWords(text) && needs > has)
            cuts->append(cut(box, text, needs, has));
    }
}

void checkLineEdit(QLineEdit *edit, QStringList *cuts)
{
    QStyleOptionFrame option;
    option.initFrom(edit);
    option.rect = edit->rect();
    option.lineWidth = edit->hasFrame() ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit) : 0;
    option.state |= QStyle::State_Sunken;
    const QMargins margins = edit->textMargins();
    // QLineEdit keeps two pixels clear on each side of its text.
    const int has = edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit).width() - margins.left()
        - margins.right() - 4;
    for (const QString &text : {edit->text(), edit->placeholderText()}) {
        const int needs = inkWidth(edit->fontMetrics(), text);
        if (hasWords(text) && needs > has)
            cuts->append(cut(edit, text, needs, has));
    }
}

QString shownText(QWidget *widget)
{
    if (auto *label = qobject_cast<QLabel *>(widget))
        return label->text();
    if (auto *button = qobject_cast<QAbstractButton *>(widget))
        return button->text();
    if (auto *edit = qobject_cast<QLineEdit *>(widget))
        return edit->text() + edit->placeholderText();
    if (auto *box = qobject_cast<QComboBox *>(widget))
        return box->count() > 0 ? box->itemText(0) : QString();
    return QString();
}

QList<QWidget *> widgetsOf(QWidget *window)
{
    QList<QWidget *> widgets{window};
    for (QWidget *child : window->findChildren<QWidget *>()) {
        // Not the combo boxes' own parts (their popups are windows of their own).
        if (child->window() == window && !qobject_cast<QComboBox *>(child->parentWidget()))
            widgets.append(child);
    }
    return widgets;
}

} // namespace

QStringList TextFit::cutTexts(QWidget *window)
{
    window->ensurePolished();
    QStringList cuts;
    for (QWidget *widget : widgetsOf(window)) {
        widget->ensurePolished();
        if (auto *label = qobject_cast<QLabel *>(widget))
            checkLabel(label, &cuts);
        else if (auto *button = qobject_cast<QAbstractButton *>(widget))
            checkButton(button, &cuts);
        else if (auto *box = qobject_cast<QComboBox *>(widget))
            checkComboBox(box, &cuts);
        else if (auto *edit = qobject_cast<QLineEdit *>(widget))
            checkLineEdit(edit, &cuts);
        const QString text = shownText(widget);
        QWidget *parent = widget->parentWidget();
        // Against a parent as shown: one never shown (a stacked page) has no size of its own yet.
        if (widget != window && parent && parent->isVisible() && hasWords(text)
            && !parent->rect().contains(widget->geometry()))
            cuts.append(QStringLiteral("%1: %2 reaches out of %3").arg(nameOf(widget), text, nameOf(parent)));
    }
    return cuts;
}

QMap<QString, QString> TextFit::texts(QWidget *window)
{
    QMap<QString, QString> found;
    const auto add = [&found](const QWidget *widget, const char *property, const QString &text) {
        if (!text.isEmpty())
            found.insert(nameOf(widget) + QLatin1Char('.') + QLatin1String(property), text);
    };
    add(window, "windowTitle", window->windowTitle());
    for (QWidget *widget : widgetsOf(window)) {
        add(widget, "toolTip", widget->toolTip());
        if (auto *label = qobject_cast<QLabel *>(widget))
            add(label, "text", label->text());
        else if (auto *button = qobject_cast<QAbstractButton *>(widget))
            add(button, "text", button->text());
        else if (auto *edit = qobject_cast<QLineEdit *>(widget)) {
            add(edit, "text", edit->text());
            add(edit, "placeholderText", edit->placeholderText());
        } else if (auto *box = qobject_cast<QComboBox *>(widget)) {
            for (int i = 0; i < box->count(); ++i)
                add(box, QByteArray("item" + QByteArray::number(i)).constData(), box->itemText(i));
        }
    }
    return found;
}
