#pragma once

#include "Base/Clock.h"

#include <QObject>

#include <chrono>
#include <optional>

// Announces that the cloud cleanup quota is used up: the cloud clients call show() whenever the
// service says so, and the voice bar shows didReach as a toast. At most one announcement per three
// hours, measured on the monotonic clock (a wall clock set back must not silence it for hours);
// the interval starts afresh at every launch. Main thread.
class QuotaNotice : public QObject
{
    Q_OBJECT

public:
    // The notice's name, as the voice bar knows it.
    static constexpr char didReachName[] = "Sonorvelle.cloudQuotaReached";
    // Exactly this long after the last notice, the next one is posted.
    static constexpr std::chrono::seconds interval {10800};

    // The clock must outlive the notice.
    explicit QuotaNotice(Clock &clock, QObject *parent = nullptr);

    // The process-wide notice on the system clock.
    static QuotaNotice &shared();

    void show();

Q_SIGNALS:
    void didReach();

private:
    Clock &m_clock;
    std::optional<std::chrono::nanoseconds> m_lastPosted;
};
