#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>

class ServiceClient;

// The pop-up notice the service switches on at start: its images (raw bodies, in the service's
// order) and the link of each.
class PopupNotice
{
public:
    // Asks the service, then fetches the images one after another with plain GETs; each image
    // request gives up after timeoutMs without progress. Any failure of the configuration request
    // leaves the notice off; a failed image keeps whatever arrived of it.
    static PopupNotice fetch(ServiceClient *client, int timeoutMs);

    // Switched on by the service and with at least one image to show.
    bool shows() const { return switchedOn && !images.isEmpty(); }

    bool switchedOn = false;
    QList<QByteArray> images;
    QStringList links; // one per image
};
