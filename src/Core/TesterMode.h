#pragma once

#include <QCoro/QCoroTask>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <QUrl>

#include <chrono>
#include <memory>

class Clock;
class CloudSession;
class ProcessLogRing;
class Timer;
class UserDefaults;

// Tester mode: a switch, off by default, for people who test the application. While it is on,
// the application sends its diagnostic log to the cloud service's "/api/testlog" endpoint: once
// when the mode is switched on, once when it is switched off, once at every launch, and every
// 30 minutes in between. Each upload carries the end of the debug log and the messages this
// process wrote to its own log (the process log ring) since the previous upload.
//
// Other parts read "testerModeEnabled" straight from the user defaults to add detail of their
// own; this object is the value's only writer.
//
// Uploads are fire and forget: nothing is retried, logged or reported, and a failed upload's
// window of process-log messages is not sent again. They go through the request layer like every
// other cloud request, with its bounds: no redirect followed, a bounded reply, a time-out.
//
// Main thread only; building an upload's text runs on the thread pool.
class TesterMode : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool enabled READ enabled NOTIFY enabledChanged)

public:
    static constexpr std::chrono::seconds uploadInterval {1800};
    static constexpr std::chrono::seconds uploadTolerance {60};
    static constexpr std::chrono::seconds requestTimeout {60};
    // A log text longer than this many UTF-8 bytes is cut to its last this-many characters.
    static constexpr qsizetype maxLogBytes = 700000;
    // Process-log messages per upload, the oldest of the window first.
    static constexpr qsizetype maxProcessLogLines = 4000;

    // The process-wide instance, made at the first call on the main thread: the standard user
    // defaults, the system clock, the shared process log ring and the shared cloud session.
    static TesterMode &shared();

    // Reads the state from `defaults`; the window of the first upload starts at "testerLastExport"
    // or, when none is stored, 1,800 seconds before now. Uploads go to the session's "testlog"
    // endpoint. Everything passed in must outlive the object.
    TesterMode(UserDefaults &defaults, Clock &clock, ProcessLogRing &processLog,
               CloudSession &session, QObject *parent = nullptr);
    ~TesterMode() override;

    bool enabled() const { return m_enabled; }
    // The start of the next upload's process-log window.
    QDateTime lastExport() const { return m_lastExport; }
    QUrl endpoint() const;

    // Called once at launch: when the mode is on, logs the session start, starts the 30-minute
    // timer and uploads.
    void start();
    // Switches the mode and stores it; on: logs, starts the timer and uploads; off: logs, uploads
    // a last time (with the "mode OFF" line) and stops the timer.
    Q_INVOKABLE void toggle();

    // The version texts sent with every upload: the application's version and build number, or
    // "dev" and "0" when the build has none.
    static QString appVersion();
    static QString appBuild();
    static QString versionOr(const QString &value, const QString &fallback);

    // The upload's log text: the debug log's tail, then the process log since `since` (or the
    // export's failure text), cut to maxLogBytes.
    static QString logText(const QString &debugLogTail, const QDateTime &since,
                           const QString &processLogExport);
    // A text of more than maxLogBytes UTF-8 bytes becomes its last maxLogBytes user-perceived
    // characters (so a text rich in multi-byte characters may stay longer in bytes).
    static QString capped(const QString &text);
    // The process log's messages written at or after `since`, one line each
    // ("2026-01-01T09:00:00Z [category] message"), at most maxProcessLogLines, joined by line
    // feeds; the failure text "(oslog export failed: …)" when the ring is not recording.
    static QString exportProcessLog(const ProcessLogRing &ring, const QDateTime &since);
    // The JSON body of one upload, or empty when it cannot be serialised.
    static QByteArray uploadBody(const QString &installID, const QString &log);

Q_SIGNALS:
    void enabledChanged(bool enabled);
    // One upload's request has ended, whatever its outcome (or was dropped before sending).
    void uploadFinished();

private:
    struct Upload
    {
        QString debugLogTail;
        QDateTime since;
        // Taken when the window closes, so messages logged while the body is built wait for the
        // next upload instead of being sent twice.
        QString processLogExport;
        QString installID;
    };

    void scheduleTimer();
    void upload();
    QCoro::Task<> send(Upload upload);

    UserDefaults &m_defaults;
    Clock &m_clock;
    ProcessLogRing &m_processLog;
    CloudSession &m_session;
    bool m_enabled = false;
    std::unique_ptr<Timer> m_timer;
    QDateTime m_lastExport;
};
