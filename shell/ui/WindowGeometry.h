#pragma once

#include <QObject>

class QWidget;

// Keeps the main window's place, size and maximised state in Config.ini between runs: restored
// (onto a screen that is there now) when made, kept when the window closes.
class WindowGeometry : public QObject
{
    Q_OBJECT

public:
    // Restores at once; call before the window is shown.
    explicit WindowGeometry(QWidget *window);

    void restore();
    void keep();

    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *m_window;
};
