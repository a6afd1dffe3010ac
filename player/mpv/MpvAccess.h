#pragma once

#include <QString>
#include <QStringList>

#include <mpv/client.h>

// Thin typed calls into libmpv: UTF-8 conversion, ownership of returned buffers, error codes.
class MpvAccess
{
public:
    explicit MpvAccess(mpv_handle *handle = nullptr) : m_handle(handle) {}

    mpv_handle *handle() const { return m_handle; }

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
    mpv_handle *m_handle;
};
