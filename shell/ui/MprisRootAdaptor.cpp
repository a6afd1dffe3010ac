#include "shell/ui/MprisRootAdaptor.h"

#include "shell/ui/MprisService.h"

MprisRootAdaptor::MprisRootAdaptor(MprisService *service)
    : QDBusAbstractAdaptor(service)
    , m_service(service)
{ }

QString MprisRootAdaptor::identity() const
{
    return QStringLiteral("Pelorin");
}

QString MprisRootAdaptor::desktopEntry() const
{
    return QStringLiteral("pelorin"); // pelorin.desktop
}

QStringList MprisRootAdaptor::supportedUriSchemes() const
{
    return {QStringLiteral("magnet"), QStringLiteral("file")};
}

QStringList MprisRootAdaptor::supportedMimeTypes() const
{
    return {QStringLiteral("application/x-bittorrent")};
}

void MprisRootAdaptor::Raise()
{
    emit m_service->raiseRequested();
}

void MprisRootAdaptor::Quit()
{
    emit m_service->quitRequested();
}
