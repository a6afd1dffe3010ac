#include "app/ui/WindowPlatform.h"

#include <QApplication>
#include <QWidget>
#include <QWindow>
#include <QX11Info>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstring>
#include <memory>

bool WindowPlatform::isNativeWayland()
{
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

bool WindowPlatform::canKeepAbove()
{
    return !isNativeWayland();
}

bool WindowPlatform::embedsDialogs()
{
    return isNativeWayland();
}

bool WindowPlatform::pastDragDistance(const QPoint &travel)
{
    return travel.manhattanLength() >= QApplication::startDragDistance();
}

namespace {
// _NET_WM_MOVERESIZE directions.
enum Direction { TopLeft = 0, Top, TopRight, Right, BottomRight, Bottom, BottomLeft, Left, Move };

int directionOf(Qt::Edges edges)
{
    const bool top = edges & Qt::TopEdge, bottom = edges & Qt::BottomEdge;
    const bool left = edges & Qt::LeftEdge, right = edges & Qt::RightEdge;
    if (top)
        return left ? int(TopLeft) : right ? int(TopRight) : int(Top);
    if (bottom)
        return left ? int(BottomLeft) : right ? int(BottomRight) : int(Bottom);
    return left ? int(Left) : int(Right);
}

xcb_atom_t internAtom(xcb_connection_t *connection, const char *name)
{
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name), nullptr),
        &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// Asked of the window manager now, not when the program started: it may have come later.
bool windowManagerSupports(xcb_connection_t *connection, xcb_atom_t atom)
{
    const xcb_atom_t supported = internAtom(connection, "_NET_SUPPORTED");
    std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
        xcb_get_property_reply(connection,
                               xcb_get_property(connection, 0, QX11Info::appRootWindow(), supported, XCB_ATOM_ATOM, 0, 4096),
                               nullptr),
        &std::free);
    if (!reply || reply->format != 32)
        return false;
    const auto *atoms = static_cast<const xcb_atom_t *>(xcb_get_property_value(reply.get()));
    const int count = xcb_get_property_value_length(reply.get()) / int(sizeof(xcb_atom_t));
    return std::find(atoms, atoms + count, atom) != atoms + count;
}

// The X11 request, with the press as the drag's origin. (Qt's own names the pointer where it is
// when the request is sent, so a window dragged past the drag distance would lag by that much.)
bool x11MoveResize(QWidget *window, int direction, const QPoint &pressGlobal)
{
    xcb_connection_t *connection = QX11Info::connection();
    const xcb_atom_t moveResize = internAtom(connection, "_NET_WM_MOVERESIZE");
    if (moveResize == XCB_ATOM_NONE || !windowManagerSupports(connection, moveResize))
        return false;
    const QPoint origin = pressGlobal * window->devicePixelRatioF();
    xcb_client_message_event_t message;
    std::memset(&message, 0, sizeof message);
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = xcb_window_t(window->winId());
    message.type = moveResize;
    message.data.data32[0] = uint32_t(origin.x());
    message.data.data32[1] = uint32_t(origin.y());
    message.data.data32[2] = uint32_t(direction);
    message.data.data32[3] = 1; // the left button
    message.data.data32[4] = 1; // from an application
    // The window manager grabs the pointer itself: the press's implicit grab must go first.
    xcb_ungrab_pointer(connection, XCB_CURRENT_TIME);
    xcb_send_event(connection, 0, QX11Info::appRootWindow(),
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char *>(&message));
    xcb_flush(connection);
    return true;
}

QWindow *handleOf(QWidget *window)
{
    return window && window->isWindow() ? window->windowHandle() : nullptr;
}
} // namespace

bool WindowPlatform::startSystemMove(QWidget *window, const QPoint &pressGlobal)
{
    QWindow *handle = handleOf(window);
    if (!handle)
        return false;
    if (QX11Info::isPlatformX11())
        return x11MoveResize(window, Move, pressGlobal);
    return handle->startSystemMove();
}

bool WindowPlatform::startSystemResize(QWidget *window, Qt::Edges edges, const QPoint &pressGlobal)
{
    QWindow *handle = handleOf(window);
    if (!handle || !edges)
        return false;
    if (QX11Info::isPlatformX11())
        return x11MoveResize(window, directionOf(edges), pressGlobal);
    return handle->startSystemResize(edges);
}
