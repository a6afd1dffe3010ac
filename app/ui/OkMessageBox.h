#pragma once

#include <QMessageBox>

// A message with the program's one button, "确定": every message box of the program is one.
class OkMessageBox : public QMessageBox
{
    Q_OBJECT

public:
    OkMessageBox(const QString &title, const QString &text, QWidget *parent = nullptr, Icon icon = NoIcon);

    // Shows it modally and returns once it is answered.
    static int inform(QWidget *parent, const QString &title, const QString &text, Icon icon = NoIcon);
};
