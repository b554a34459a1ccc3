#pragma once

#include <QString>
#include <QVariantMap>

// The usage-event reporter as a dictation session uses it. Property values are texts, booleans,
// integers or floating-point numbers. Implemented by the usage-event reporter; returns at once,
// never fails.
class UsageReporting
{
public:
    virtual ~UsageReporting() = default;

    // Queues one event with the current time (the reporter does nothing while reporting is off).
    virtual void record(const QString &event, const QVariantMap &properties) = 0;
    // Sends one usage sample at once, fire and forget; nothing is sent without a token.
    virtual void sample(const QVariantMap &properties) = 0;
};
