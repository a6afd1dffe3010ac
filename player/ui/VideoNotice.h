#pragma once

#include <QLabel>

class QTimer;

// A short text over the video's top left corner that goes by itself after a few seconds; with
// the offer to start over it carries a link that does so.
class VideoNotice : public QLabel
{
    Q_OBJECT

public:
    static constexpr int ShownMs = 5000;

    explicit VideoNotice(QWidget *page);

public slots:
    // Empty text hides it.
    void showNotice(const QString &text, bool startOverOffered);

signals:
    void startOverRequested();

private:
    QTimer *m_hideTimer;
};
