#pragma once

#include <QString>
#include <QStringList>

#include <mpv/client.h>

#include <functional>
#include <memory>

// Thin typed calls into libmpv: UTF-8 conversion, ownership of returned buffers, error codes.
//
// Every call waits for the core. The core in turn may be waiting for the GUI thread: after a
// start or a seek it holds everything until the first frame has been drawn, and only the GUI
// thread draws. A plain call made then stalls both until libmpv gives up on the frame (200 ms).
// An access made with overOwnClient() sends its calls through a client handle of its own and,
// while one waits, runs the wait service whenever serviceWanted() has been called, so that the
// frame can be taken while the call is still outstanding. The calls stay synchronous, in order.
class MpvAccess
{
public:
    // Plain synchronous calls on the handle.
    explicit MpvAccess(mpv_handle *handle = nullptr) : m_handle(handle) {}
    // Calls through a new client of the core; null handle() when it could not be created.
    // Must go (with every copy) before the core's handle is destroyed.
    static MpvAccess overOwnClient(mpv_handle *core);

    mpv_handle *handle() const { return m_handle; }

    // Runs on the calling (GUI) thread while a call waits, after serviceWanted().
    void setWaitService(std::function<void()> service) const;
    // Any thread (libmpv's own included): the wait service is needed.
    void serviceWanted() const;

    bool setString(const char *name, const QString &value) const;
    bool setFlag(const char *name, bool value) const;
    bool setInt(const char *name, qint64 value) const;
    bool setDouble(const char *name, double value) const;
    bool setStringList(const char *name, const QStringList &values) const;

    // Empty or the fallback when the property is unavailable.
    QString string(const char *name) const;
    bool flag(const char *name, bool fallback = false) const;
    qint64 integer(const char *name, qint64 fallback = 0, bool *ok = nullptr) const;
    double number(const char *name, double fallback = 0.0, bool *ok = nullptr) const;

    // Runs a command synchronously; arguments are passed as given, never re-parsed.
    int command(const QStringList &arguments) const;
    // loadfile and the like: the command's result map entry "key" as an integer, or -1.
    qint64 commandReturningInt(const QStringList &arguments, const char *key, int *error = nullptr) const;

private:
    struct Channel;

    int setProperty(const char *name, mpv_format format, void *data) const;
    // The reply's error code; take (when given) reads the reply event before it goes.
    int getProperty(const char *name, mpv_format format,
                    const std::function<void(const mpv_event_property &)> &take) const;
    int await(quint64 id, const std::function<void(const mpv_event &)> &take) const;

    mpv_handle *m_handle;
    std::shared_ptr<Channel> m_channel;
};
