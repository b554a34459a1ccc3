#include "Platform/X11/X11TrayPanel.h"

#include <QApplication>
#include <QGuiApplication>
#include <QWidget>

#include <cstdlib>
#include <memory>

#include <xcb/xcb.h>

namespace {

template<typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

xcb_connection_t *connection()
{
    auto *x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t atom(xcb_connection_t *x, const char *name)
{
    Reply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(x, xcb_intern_atom(x, 1, uint16_t(qstrlen(name)), name), nullptr),
        &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// The window Qt embeds into the tray for this process's icon; null while none is shown.
const QWidget *embeddedIcon()
{
    for (const QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == QLatin1String("QSystemTrayIconSys") && widget->isVisible()) {
            return widget;
        }
    }
    return nullptr;
}

std::optional<QColor> announcedInk(xcb_connection_t *x, xcb_window_t tray)
{
    const xcb_atom_t colors = atom(x, "_NET_SYSTEM_TRAY_COLORS");
    if (colors == XCB_ATOM_NONE) {
        return std::nullopt;
    }
    Reply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(x, xcb_get_property(x, 0, tray, colors, XCB_ATOM_CARDINAL, 0, 12),
                               nullptr),
        &std::free);
    if (!reply || reply->format != 32) {
        return std::nullopt;
    }
    const auto *values = static_cast<const uint32_t *>(xcb_get_property_value(reply.get()));
    const int count = xcb_get_property_value_length(reply.get()) / 4;
    return X11TrayPanel::announcedForeground(QList<uint32_t>(values, values + count));
}

// The panel's colour where it shows through the icon: the icon leaves its lower left corner
// clear, and an embedded icon's window shows its parent's background where it draws nothing.
std::optional<QColor> panelBackground(xcb_connection_t *x, xcb_window_t root)
{
    const QWidget *icon = embeddedIcon();
    if (!icon) {
        return std::nullopt;
    }
    const auto window = static_cast<xcb_window_t>(icon->winId());
    Reply<xcb_translate_coordinates_reply_t> place(
        xcb_translate_coordinates_reply(x, xcb_translate_coordinates(x, window, root, 0, 0),
                                        nullptr),
        &std::free);
    Reply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(x, xcb_get_geometry(x, window), nullptr), &std::free);
    // Not embedded yet: the window still sits at the screen's corner, outside any panel.
    if (!place || !geometry || (place->dst_x == 0 && place->dst_y == 0)) {
        return std::nullopt;
    }
    Reply<xcb_get_image_reply_t> image(
        xcb_get_image_reply(x,
                            xcb_get_image(x, XCB_IMAGE_FORMAT_Z_PIXMAP, root, place->dst_x,
                                          int16_t(place->dst_y + geometry->height - 1), 1, 1, ~0u),
                            nullptr),
        &std::free);
    if (!image || xcb_get_image_data_length(image.get()) < 4 || image->depth < 24) {
        return std::nullopt;
    }
    const uint8_t *bgrx = xcb_get_image_data(image.get());
    return QColor(bgrx[2], bgrx[1], bgrx[0]);
}

} // namespace

TrayPanel &TrayPanel::system()
{
    static X11TrayPanel panel;
    return panel;
}

std::optional<QColor> X11TrayPanel::iconInk()
{
    xcb_connection_t *x = connection();
    if (!x) {
        return std::nullopt;
    }
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(x)).data;
    const xcb_atom_t selection = atom(x, "_NET_SYSTEM_TRAY_S0");
    if (selection == XCB_ATOM_NONE) {
        return std::nullopt;
    }
    Reply<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(x, xcb_get_selection_owner(x, selection), nullptr),
        &std::free);
    if (!owner || owner->owner == XCB_NONE) {
        return std::nullopt;
    }
    if (const auto announced = announcedInk(x, owner->owner)) {
        return announced;
    }
    if (const auto background = panelBackground(x, screen->root)) {
        return inkOn(*background);
    }
    return std::nullopt;
}

std::optional<QColor> X11TrayPanel::announcedForeground(const QList<uint32_t> &colors)
{
    if (colors.size() < 12) {
        return std::nullopt;
    }
    return QColor::fromRgba64(uint16_t(colors.at(0)), uint16_t(colors.at(1)),
                              uint16_t(colors.at(2)));
}
