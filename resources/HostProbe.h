#pragma once

#include <QByteArray>
#include <QObject>
#include <QUrl>

#include <memory>

class QEventLoop;
class QNetworkAccessManager;
class QNetworkReply;

// One trial of a video host: the host is accepted when more than 1024 bytes of the file arrive
// within 500 ms and its Content-Length is the file's size. Waits in a local event loop.
class HostProbe : public QObject
{
    Q_OBJECT

public:
    enum Outcome { Aborted = -1, Rejected = 0, Accepted = 1 };

    static constexpr int TimeLimitMs = 500;
    static constexpr qint64 ByteThreshold = 1024;

    explicit HostProbe(QObject *parent = nullptr);
    ~HostProbe() override;

    // finishEndsProbe: a reply that ends (an error page, say) rejects at once instead of after
    // the time limit.
    Outcome run(const QUrl &url, const QByteArray &cookie, quint64 expectedSize, bool finishEndsProbe);

    // Frees the reply and its manager.
    void release();

public slots:
    // Ends a running trial as Aborted.
    void abort();

private:
    void finish(int code);

    std::unique_ptr<QNetworkAccessManager> m_manager;
    QNetworkReply *m_reply = nullptr;
    QEventLoop *m_loop = nullptr;
    int m_code = 0;
    bool m_decided = false;
};
