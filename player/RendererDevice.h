#pragma once

#include <QString>

// A media renderer on the local network as discovery found it.
struct RendererDevice
{
    QString id; // its unique device name (UDN)
    QString name; // the friendly name it gives itself
    QString address; // the host of its description address
};
