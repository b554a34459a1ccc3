#pragma once

#include "Platform/UrlOpener.h"

#include <QList>

// Records every address it is asked to open; answers `accepts`.
class FakeUrlOpener final : public UrlOpener
{
public:
    bool openUrl(const QUrl &url) override
    {
        opened.append(url);
        return accepts;
    }

    QList<QUrl> opened;
    bool accepts = true;
};
