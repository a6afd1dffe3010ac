#pragma once

#include <QLabel>

// A lasting text in the middle of the video while casting ("正在投屏到 NAME") or after casting
// failed, with one link (stop casting, play here).
class CastNotice : public QLabel
{
    Q_OBJECT

public:
    explicit CastNotice(QWidget *page);

public slots:
    // Empty text hides it.
    void showNotice(const QString &text, const QString &linkText);

signals:
    void linkChosen();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void place();
};
