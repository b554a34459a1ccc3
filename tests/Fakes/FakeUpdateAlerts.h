#pragma once

#include "Core/UpdateAlerting.h"

#include <QStringList>

// Records each result shown: "up to date", "available <version> <page>", "failed <detail>".
class FakeUpdateAlerts final : public UpdateAlerting
{
public:
    void showUpToDate() override { shown << QStringLiteral("up to date"); }
    void showUpdateAvailable(const QString &version, const QUrl &page) override
    {
        shown << QStringLiteral("available %1 %2").arg(version, page.toString());
    }
    void showCheckFailed(const QString &detail) override
    {
        shown << QStringLiteral("failed ") + detail;
    }

    QStringList shown;
};
