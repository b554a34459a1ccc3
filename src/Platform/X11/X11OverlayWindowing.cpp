#include "Platform/X11/X11OverlayWindowing.h"

#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QPainterPath>
#include <QPolygon>
#include <QScreen>
#include <QSurfaceFormat>
#include <QVariant>
#include <QWindow>

#include <cstdlib>
#include <memory>
#include <optional>

#include <xcb/xcb.h>
#include <xcb/xfixes.h>

namespace {

// The X connection of this process's windows; null outside an X11 session.
xcb_connection_t *connection()
{
    auto *x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t atom(xcb_connection_t *connection, const char *name)
{
    const auto cookie = xcb_intern_atom(connection, 0, static_cast<uint16_t>(qstrlen(name)), name);
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(connection, cookie, nullptr), &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// The desktop number that the EWMH reserves for "on every workspace".
constexpr uint32_t allDesktops = 0xFFFFFFFF;

std::optional<uint32_t> desktopOf(xcb_connection_t *x, xcb_window_t window, xcb_atom_t desktop)
{
    std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
        xcb_get_property_reply(x, xcb_get_property(x, 0, window, desktop, XCB_ATOM_CARDINAL, 0, 1),
                               nullptr),
        &std::free);
    if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) < 4) {
        return std::nullopt;
    }
    return *static_cast<const uint32_t *>(xcb_get_property_value(reply.get()));
}

// A panel hidden and shown again at once can lose its place on every workspace: the window
// manager deletes the property when it sees the earlier unmap, after the show has set it again,
// and then manages the window on the current workspace only. Once the window is on screen (and so
// managed), a managed window is moved by asking the window manager through the root window.
class WorkspaceKeeper : public QObject
{
public:
    explicit WorkspaceKeeper(QWindow &window)
        : QObject(&window)
        , m_window(window)
    { }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == &m_window && event->type() == QEvent::Expose && m_window.isExposed()
            && !m_window.flags().testFlag(Qt::X11BypassWindowManagerHint)) {
            keepOnEveryWorkspace();
        }
        return false;
    }

private:
    void keepOnEveryWorkspace()
    {
        xcb_connection_t *x = connection();
        const xcb_atom_t desktop = x ? atom(x, "_NET_WM_DESKTOP") : xcb_atom_t(XCB_ATOM_NONE);
        if (desktop == XCB_ATOM_NONE) {
            return;
        }
        const auto id = static_cast<xcb_window_t>(m_window.winId());
        if (desktopOf(x, id, desktop) == allDesktops) {
            return;
        }
        xcb_client_message_event_t message {};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = id;
        message.type = desktop;
        message.data.data32[0] = allDesktops;
        message.data.data32[1] = 1; // asked by an application, not a pager
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
        xcb_send_event(x, 0, root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char *>(&message));
        xcb_flush(x);
    }

    QWindow &m_window;
};

constexpr const char *keeperProperty = "_sonorvelle_workspaceKeeper";

// Empties the input region of a panel that ignores the mouse. Qt empties it once, when the
// window is created; a shape set on the window afterwards must not bring the clicks back inside
// the drawn pixels, whatever order the bounding and the input shape reach the server in.
void keepClickThrough(QWindow &window)
{
    xcb_connection_t *x = connection();
    if (!x || !window.handle() || !window.flags().testFlag(Qt::WindowTransparentForInput)) {
        return;
    }
    const xcb_xfixes_region_t nothing = xcb_generate_id(x);
    xcb_xfixes_create_region(x, nothing, 0, nullptr);
    xcb_xfixes_set_window_shape_region(x, static_cast<xcb_window_t>(window.winId()),
                                       XCB_SHAPE_SK_INPUT, 0, 0, nothing);
    xcb_xfixes_destroy_region(x, nothing);
    xcb_flush(x);
}

} // namespace

OverlayWindowing &OverlayWindowing::system()
{
    static X11OverlayWindowing windowing;
    return windowing;
}

void X11OverlayWindowing::prepare(QWindow &window, bool ignoresMouse)
{
    Qt::WindowFlags flags = Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint
        | Qt::WindowDoesNotAcceptFocus;
    if (ignoresMouse) {
        flags |= Qt::WindowTransparentForInput | Qt::X11BypassWindowManagerHint;
    }
    window.setFlags(flags);
    window.setProperty("_q_showWithoutActivating", true);
    // Prepared twice, a window still gets one keeper.
    if (!window.property(keeperProperty).toBool()) {
        window.setProperty(keeperProperty, true);
        window.installEventFilter(new WorkspaceKeeper(window));
    }
    if (translucencyAvailable()) {
        QSurfaceFormat format = window.format();
        format.setAlphaBufferSize(8);
        window.setFormat(format);
    }
}

void X11OverlayWindowing::beforeShow(QWindow &window)
{
    xcb_connection_t *x = connection();
    if (!x) {
        return;
    }
    // The window must exist before it can carry the property, and a hide removes it again.
    const auto id = static_cast<xcb_window_t>(window.winId());
    keepClickThrough(window);
    const xcb_atom_t desktop = atom(x, "_NET_WM_DESKTOP");
    if (desktop == XCB_ATOM_NONE) {
        return;
    }
    xcb_change_property(x, XCB_PROP_MODE_REPLACE, id, desktop, XCB_ATOM_CARDINAL, 32, 1,
                        &allDesktops);
    xcb_flush(x);
}

bool X11OverlayWindowing::translucencyAvailable()
{
    xcb_connection_t *x = connection();
    if (!x) {
        return false;
    }
    // A compositing manager announces itself by owning this selection.
    const xcb_atom_t selection = atom(x, "_NET_WM_CM_S0");
    if (selection == XCB_ATOM_NONE) {
        return false;
    }
    std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&std::free)> reply(
        xcb_get_selection_owner_reply(x, xcb_get_selection_owner(x, selection), nullptr),
        &std::free);
    return reply && reply->owner != XCB_NONE;
}

void X11OverlayWindowing::clipToRoundedShape(QWindow &window, QRectF shape, qreal radius)
{
    clipToRegion(window, translucencyAvailable() ? QRegion() : roundedRegion(shape, radius));
}

void X11OverlayWindowing::clipToRegion(QWindow &window, const QRegion &shape)
{
    window.setMask(shape);
    keepClickThrough(window);
}

QRegion X11OverlayWindowing::roundedRegion(QRectF shape, qreal radius)
{
    if (shape.isEmpty()) {
        return {};
    }
    QPainterPath path;
    path.addRoundedRect(shape, radius, radius);
    return QRegion(path.toFillPolygon().toPolygon());
}

std::optional<OverlayWindowing::ScreenArea> X11OverlayWindowing::screenUnderPointer()
{
    QScreen *screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen) {
        return std::nullopt;
    }
    return ScreenArea {screen->geometry(), screen->availableGeometry()};
}

std::optional<OverlayWindowing::ScreenArea> X11OverlayWindowing::mainScreen()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen) {
        return std::nullopt;
    }
    return ScreenArea {screen->geometry(), screen->availableGeometry()};
}
