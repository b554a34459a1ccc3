#pragma once

#include <QUrl>

// Opens an address in the user's preferred application (a web page in the browser).
class UrlOpener
{
public:
    virtual ~UrlOpener() = default;

    // Whether the desktop accepted the address. Main thread.
    virtual bool openUrl(const QUrl &url) = 0;
};
