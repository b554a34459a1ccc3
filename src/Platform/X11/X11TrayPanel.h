#pragma once

#include "Platform/TrayPanel.h"

#include <QList>

#include <cstdint>

// The system tray of the X11 tray protocol. A host may announce the colours its icons should use
// (_NET_SYSTEM_TRAY_COLORS on the window that owns the tray selection); the foreground colour is
// then the ink. Otherwise the panel shows through the transparent corner of this process's own
// embedded icon, and the ink is chosen against that pixel. Outside an X11 session, or before the
// icon is embedded, there is no answer.
class X11TrayPanel : public TrayPanel
{
public:
    std::optional<QColor> iconInk() override;

    // The foreground colour of a _NET_SYSTEM_TRAY_COLORS value: twelve 16-bit components, the
    // foreground first; absent when the value is shorter.
    static std::optional<QColor> announcedForeground(const QList<uint32_t> &colors);
};
