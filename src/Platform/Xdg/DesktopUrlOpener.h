#pragma once

#include "Platform/UrlOpener.h"

// Opens addresses through the desktop's default handlers (xdg-open on X11 desktops).
class DesktopUrlOpener final : public UrlOpener
{
public:
    bool openUrl(const QUrl &url) override;
};
