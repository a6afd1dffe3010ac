#include "player/ui/MpvVideoWindow.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>

MpvVideoWindow::MpvVideoWindow(QWidget *inputTarget)
    : m_inputTarget(inputTarget)
{
    setSurfaceType(QSurface::OpenGLSurface);
    // The window manager never sees it as a window of its own.
    setFlags(Qt::FramelessWindowHint);
}

void MpvVideoWindow::exposeEvent(QExposeEvent *event)
{
    QWindow::exposeEvent(event);
    m_exposed = isExposed();
    if (m_exposed)
        emit exposed();
}

void MpvVideoWindow::forward(QEvent *event)
{
    // The window fills the widget from its top left corner: positions carry over unchanged.
    if (m_inputTarget)
        QCoreApplication::sendEvent(m_inputTarget, event);
}

void MpvVideoWindow::mousePressEvent(QMouseEvent *event) { forward(event); }
void MpvVideoWindow::mouseReleaseEvent(QMouseEvent *event) { forward(event); }
void MpvVideoWindow::mouseDoubleClickEvent(QMouseEvent *event) { forward(event); }
void MpvVideoWindow::mouseMoveEvent(QMouseEvent *event) { forward(event); }
void MpvVideoWindow::keyPressEvent(QKeyEvent *event) { forward(event); }
void MpvVideoWindow::keyReleaseEvent(QKeyEvent *event) { forward(event); }
