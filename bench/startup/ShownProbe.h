#pragma once

#include <QApplication>
#include <QMainWindow>
#include <QTimer>
#include <QWindow>

#include <cstdio>
#include <ctime>
#include <unistd.h>

// Watches for the first expose of a QMainWindow; once the event has been handled (the window
// painted and flushed to the display) it prints "shown <monotonic ns>" and ends the process at
// once, so that nothing after start-up is measured.
class ShownProbe : public QObject
{
public:
    explicit ShownProbe(QObject *parent = nullptr)
        : QObject(parent)
    {
        qApp->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Expose || m_seen)
            return false;
        auto *window = qobject_cast<QWindow *>(watched);
        if (!window || !window->isExposed())
            return false;
        const QWidgetList widgets = QApplication::topLevelWidgets();
        for (QWidget *widget : widgets) {
            if (widget->windowHandle() == window && qobject_cast<QMainWindow *>(widget)) {
                m_seen = true;
                QTimer::singleShot(0, [] {
                    timespec now{};
                    clock_gettime(CLOCK_MONOTONIC, &now);
                    std::printf("shown %lld\n", static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
                    std::fflush(stdout);
                    _exit(0);
                });
            }
        }
        return false;
    }

private:
    bool m_seen = false;
};
