#pragma once

#include "Core/Services/UsageReporting.h"

#include <QList>
#include <QPair>
#include <QStringList>

// Records the events and samples in order.
class FakeUsageReporter final : public UsageReporting
{
public:
    void record(const QString &event, const QVariantMap &properties) override
    {
        events << qMakePair(event, properties);
    }
    void sample(const QVariantMap &properties) override { samples << properties; }

    QStringList eventNames() const
    {
        QStringList names;
        for (const auto &event : events) {
            names << event.first;
        }
        return names;
    }
    // The properties of the last event of this name; empty when there is none.
    QVariantMap last(const QString &name) const
    {
        for (auto it = events.crbegin(); it != events.crend(); ++it) {
            if (it->first == name) {
                return it->second;
            }
        }
        return {};
    }

    QList<QPair<QString, QVariantMap>> events;
    QList<QVariantMap> samples;
};
