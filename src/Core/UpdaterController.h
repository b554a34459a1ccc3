#pragma once

#include <QObject>
#include <QString>

#include <memory>

class Clock;
class UpdateAlerting;
class Updater;
class UrlOpener;
class UserDefaults;

// Owner of the process's one software updater. The application has an updater only when the
// build names an update feed (AppInfo::feedURL()); without one no owner is made, and the status
// menu offers no update entry.
//
// A check the user asked for always ends with an answer in a window (UpdateAlerting): up to date,
// a newer version and its page, or why the check failed. Scheduled checks stay quiet.
//
// Main thread only.
class UpdaterController : public QObject
{
    Q_OBJECT

public:
    // Whether the build names an update feed.
    static bool isConfigured();
    // The process-wide owner, made and started at the first call; null when the build names no
    // feed. Never destroyed.
    static UpdaterController *shared();

    // An owner of an updater on `feedURL` for the running build `currentVersion`, its updater
    // started; null when `feedURL` is empty. Everything passed in must outlive the owner.
    static std::unique_ptr<UpdaterController> create(const QString &feedURL,
                                                     const QString &currentVersion,
                                                     UrlOpener &opener, UserDefaults &defaults,
                                                     Clock &clock);
    ~UpdaterController() override;

    // What callers use: checkForUpdates() and the automaticallyChecksForUpdates property.
    Updater &updater() const { return *m_updater; }

    // Who shows the user the result of the checks they ask for; null: nobody. Must outlive the
    // owner.
    void setAlerts(UpdateAlerting *alerts) { m_alerts = alerts; }

private:
    explicit UpdaterController(std::unique_ptr<Updater> updater);

    std::unique_ptr<Updater> m_updater;
    UpdateAlerting *m_alerts = nullptr;
};
