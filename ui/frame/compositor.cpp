#include "ui/frame/compositor.h"

#include <QByteArray>
#include <QGuiApplication>

#ifdef MAINT_HAVE_XCB
#include <xcb/xcb.h>

#include <cstdlib>

namespace
{

// A compositing manager announces itself by owning _NET_WM_CM_S<screen>
// (EWMH, "Compositing Managers"). Asked on a connection of its own.
bool x11CompositorRunning()
{
    int screen = 0;
    xcb_connection_t *connection = xcb_connect(nullptr, &screen);
    bool running = false;
    if (!xcb_connection_has_error(connection)) {
        const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(screen);
        const xcb_intern_atom_cookie_t atomCookie =
            xcb_intern_atom(connection, 1, quint16(name.size()), name.constData());
        xcb_intern_atom_reply_t *atom = xcb_intern_atom_reply(connection, atomCookie, nullptr);
        if (atom && atom->atom != XCB_ATOM_NONE) {
            xcb_get_selection_owner_reply_t *owner = xcb_get_selection_owner_reply(
                connection, xcb_get_selection_owner(connection, atom->atom), nullptr);
            running = owner && owner->owner != XCB_WINDOW_NONE;
            std::free(owner);
        }
        std::free(atom);
    }
    xcb_disconnect(connection);
    return running;
}

} // namespace
#endif

bool desktopComposites()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return true;
#ifdef MAINT_HAVE_XCB
    return x11CompositorRunning();
#else
    return true;
#endif
}
