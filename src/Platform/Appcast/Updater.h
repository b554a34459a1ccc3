#pragma once

#include <QCoro/QCoroTask>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <QUrl>

#include <chrono>
#include <memory>
#include <optional>

class Clock;
class QNetworkAccessManager;
class Timer;
class UrlOpener;
class UserDefaults;

// The application's software updater: reads the update feed (an appcast, see Appcast), compares
// the newest release's build version with the running build, and when a newer one exists opens
// its download page in the browser. Installing is left to the user and their package tools.
//
// Checks are made on request (a user-initiated check) and, while automatic checks are on, once a
// day on its own schedule. A scheduled check opens the page of a given release only once; a
// user-initiated check opens it every time. What a check finds is logged (category "updater"),
// opened or signalled; nothing is shown in a window of the updater's own.
//
// User defaults: "SUEnableAutomaticChecks" (bool, off when absent: nothing is fetched without the
// user's say), "SULastCheckTime" (ISO 8601 text of the last check's start),
// "updaterAnnouncedVersion" (the build version whose page was last opened).
//
// Main thread only.
class Updater : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool automaticallyChecksForUpdates READ automaticallyChecksForUpdates WRITE
                   setAutomaticallyChecksForUpdates NOTIFY automaticallyChecksForUpdatesChanged)
    Q_PROPERTY(bool checking READ isChecking NOTIFY checkingChanged)

public:
    enum class CheckResult { updateFound, upToDate, failed };
    Q_ENUM(CheckResult)

    // Time between scheduled checks.
    static constexpr std::chrono::seconds checkInterval {86400};
    static constexpr std::chrono::seconds requestTimeout {30};
    // A longer feed is not read.
    static constexpr qint64 maxFeedBytes = 4 * 1024 * 1024;

    // `currentVersion` is the running build's version, compared with the feed's build versions.
    // Everything passed by reference must outlive the updater.
    Updater(QUrl feedURL, QString currentVersion, UrlOpener &opener, UserDefaults &defaults,
            Clock &clock, QObject *parent = nullptr);
    ~Updater() override;

    QUrl feedURL() const { return m_feedURL; }
    QString currentVersion() const { return m_currentVersion; }

    // Starts the schedule of automatic checks (when they are on): the first is due one interval
    // after the last check, at once when there was none or it is overdue.
    void start();

    // A user-initiated check. While a check is running it only marks that check as
    // user-initiated.
    Q_INVOKABLE void checkForUpdates();

    bool automaticallyChecksForUpdates() const { return m_automatic; }
    void setAutomaticallyChecksForUpdates(bool on);

    bool isChecking() const { return m_checking; }
    // When the last check started; absent before the first.
    std::optional<QDateTime> lastUpdateCheckDate() const;

Q_SIGNALS:
    void automaticallyChecksForUpdatesChanged(bool on);
    void checkingChanged(bool checking);
    // A check has ended. For updateFound, `version` is the release's display version and `page`
    // its download page; `detail` is the reason of a failure.
    void checkFinished(Updater::CheckResult result, bool userInitiated, const QString &version,
                       const QUrl &page, const QString &detail);

private:
    struct Outcome
    {
        CheckResult result = CheckResult::failed;
        QString version; // build version of the update
        QString displayVersion;
        QUrl page;
        QString detail;
    };

    void check(bool userInitiated);
    QCoro::Task<> fetchAndEvaluate();
    Outcome evaluate(const QByteArray &feed) const;
    void finish(const Outcome &outcome);
    void scheduleNextCheck();

    const QUrl m_feedURL;
    const QString m_currentVersion;
    UrlOpener &m_opener;
    UserDefaults &m_defaults;
    Clock &m_clock;
    QNetworkAccessManager *m_network;
    std::unique_ptr<Timer> m_timer;
    bool m_automatic = false;
    bool m_started = false;
    bool m_checking = false;
    bool m_userInitiated = false;
};
