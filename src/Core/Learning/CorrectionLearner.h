#pragma once

#include "Core/Services/CorrectionLearning.h"

#include <QDate>
#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>

#include <QCoro/QCoroTask>

#include <chrono>
#include <optional>

class AppSettings;
class Clock;
class CloudAccount;
class CloudSession;
class UsageReporting;
class UserDefaults;

// Collects examples of how users correct the cleaned-up text after it was inserted, so that the
// cloud cleanup can learn from them. The dictation controller hands over each inserted text with
// its target application (remember), and at the start of the next recording the focus snapshot of
// that moment (checkAndSend). When the snapshot is of the same application, the text is recent and
// the user changed it, the learner records a "cleanup.edited" usage event and uploads the changed
// stretch (as inserted, as corrected) to "/api/cleanup/correction", at most ten times a day.
//
// Runs only while cloud learning is on and the user is signed in. A password field is never
// compared nor sent from. Nothing is shown to the user, retried or queued: a correction that
// cannot be sent is lost, and the daily count lives in memory only.
//
// Main thread: remember(), checkAndSend() and the count. The comparison runs on the thread pool;
// the event and the upload are made from the main thread after it, by a coroutine that ends
// quietly when the learner is gone.
class CorrectionLearner final
    : public QObject
    , public CorrectionLearning
{
    Q_OBJECT

public:
    // Inserted texts outside this range of characters (both ends included) are not remembered:
    // shorter ones carry no correction worth learning, longer ones are not dictated edits.
    static constexpr qsizetype minimumLength = 10;
    static constexpr qsizetype maximumLength = 600;
    // Uploads allowed per calendar day.
    static constexpr int dailyLimit = 10;
    // After this long an edit is no longer looked for (exactly this long still counts): the field
    // has likely moved on to other work.
    static constexpr std::chrono::seconds ttl {1800};
    // The upload is small; it must not hold a connection slot for long.
    static constexpr std::chrono::seconds uploadTimeout {8};

    // The objects must outlive the learner.
    struct Services
    {
        AppSettings *settings = nullptr;
        // Whose stored token signs the upload; none stored: signed out, nothing is learned.
        CloudAccount *account = nullptr;
        CloudSession *session = nullptr;
        // "testerModeEnabled" adds the texts of each pair to the log.
        UserDefaults *defaults = nullptr;
        Clock *clock = nullptr;
        // Absent in a build without usage reporting: no event is recorded, uploads still go.
        UsageReporting *reporter = nullptr;
    };

    explicit CorrectionLearner(Services services, QObject *parent = nullptr);
    ~CorrectionLearner() override;

    void remember(const QString &text, const std::optional<QString> &bundleID) override;
    void checkAndSend(const FocusContext &context) override;

    // Whether an inserted text waits for the next recording.
    bool hasPending() const { return m_pending.has_value(); }
    // Comparisons and uploads still under way; for tests.
    int checksInFlight() const { return m_inFlight; }

    // The calendar day as "year-month-day" without leading zeros ("2026-3-7").
    static QString dayKey(const QDate &date);
    // The size of the change in characters: "0", "1-3", "4-10" or "11+".
    static QString deltaBucket(qsizetype originalLength, qsizetype correctedLength);

private:
    struct Pending
    {
        QString text;
        std::optional<QString> bundleID;
        QDateTime at;
    };

    // Starts a new count when the local day changed since the last upload.
    void rollDay();
    // Counts one upload; false when the day's uploads are used up.
    bool consumeQuota();
    // Compares, records and uploads; the learner counts it as in flight until it ends.
    static QCoro::Task<> learn(QPointer<CorrectionLearner> self, QString inserted,
                               std::optional<QString> fieldText,
                               std::optional<QString> fieldTextTail, QString token);
    QCoro::Task<> post(QString original, QString corrected, QString token);

    Services m_services;
    std::optional<Pending> m_pending;
    int m_sentCount = 0;
    QString m_sentDay;
    int m_inFlight = 0;
};
