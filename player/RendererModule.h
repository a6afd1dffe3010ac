#pragma once

#include <QLibrary>
#include <QObject>
#include <QString>

#include <thread>

class RendererDiscovery;

// Casting's network library lives in a module of its own (pelorin-cast.so), opened on a thread of
// its own the first time the user asks for renderers: no start of the program waits for it, and
// a program that never casts never loads it.
class RendererModule : public QObject
{
    Q_OBJECT

public:
    explicit RendererModule(QObject *parent = nullptr);
    ~RendererModule() override;

    // $PELORIN_CAST_MODULE, beside the program, or in ../lib/pelorin from it.
    static QString filePath();

    // Starts opening the module; ready() or failed() follows on this object's thread.
    void load();
    bool isLoading() const { return m_started && !m_discovery && !m_failed; }
    bool hasFailed() const { return m_failed; }
    // Made on this object's thread once the module is open; null before and on failure.
    RendererDiscovery *discovery() const { return m_discovery; }

signals:
    void ready(RendererDiscovery *discovery);
    void failed(const QString &error);

private:
    void finishLoading();

    QLibrary m_library;
    std::thread m_loader;
    bool m_started = false;
    bool m_failed = false;
    RendererDiscovery *m_discovery = nullptr;
};
