#pragma once

#include <QString>
#include <QUrl>

// Tells the user what a check for updates they asked for found, in a small window of its own;
// a check of the updater's own schedule is not shown. Main thread; never waits for the user.
class UpdateAlerting
{
public:
    virtual ~UpdateAlerting() = default;

    // The running version is the newest.
    virtual void showUpToDate() = 0;
    // A newer version, by its display version, and its download page.
    virtual void showUpdateAvailable(const QString &version, const QUrl &page) = 0;
    // The check failed; `detail` says why.
    virtual void showCheckFailed(const QString &detail) = 0;
};
