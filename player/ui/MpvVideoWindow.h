#pragma once

#include <QPointer>
#include <QWindow>

#include <atomic>

// The native window the direct path draws into, embedded in the video widget. Its input goes to
// the widget as if the widget had received it, so the video area behaves the same on every path.
class MpvVideoWindow : public QWindow
{
    Q_OBJECT

public:
    explicit MpvVideoWindow(QWidget *inputTarget);

    // Any thread: whether a swap would reach the screen now.
    bool exposedNow() const { return m_exposed; }

signals:
    // Shown again (or uncovered): what it showed must be drawn again.
    void exposed();

protected:
    void exposeEvent(QExposeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;

private:
    void forward(QEvent *event);

    QPointer<QWidget> m_inputTarget;
    std::atomic_bool m_exposed{false};
};
