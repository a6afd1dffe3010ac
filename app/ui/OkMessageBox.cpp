#include "app/ui/OkMessageBox.h"

#include <QPushButton>

OkMessageBox::OkMessageBox(const QString &title, const QString &text, QWidget *parent, Icon icon)
    : QMessageBox(icon, title, text, QMessageBox::Ok, parent)
{
    button(QMessageBox::Ok)->setText(tr("确定"));
}

int OkMessageBox::inform(QWidget *parent, const QString &title, const QString &text, Icon icon)
{
    OkMessageBox box(title, text, parent, icon);
    return box.exec();
}
