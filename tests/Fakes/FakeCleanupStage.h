#pragma once

#include "Core/TextCleanup/TextCleanupService.h"
#include "Fakes/TestGate.h"

#include <QList>

#include <functional>
#include <memory>

// A cleanup stage with a given name whose result the test chooses (by default the text marked
// "<name>:"); with `gate` set it waits there first. Records every call.
class FakeCleanupStage final : public TextCleanupService
{
public:
    struct Call
    {
        QString text;
        CleanupContext context;
    };

    explicit FakeCleanupStage(QString name)
        : m_name(std::move(name))
    { }

    QString name() const override { return m_name; }

    QCoro::Task<QString> cleanup(QString text, CleanupContext context) const override
    {
        calls->append(Call {text, context});
        if (gate) {
            co_await *gate;
        }
        co_return transform ? transform(text) : m_name + QStringLiteral(":") + text;
    }

    std::function<QString(const QString &)> transform;
    std::shared_ptr<TestGate> gate;
    std::shared_ptr<QList<Call>> calls = std::make_shared<QList<Call>>();

private:
    QString m_name;
};
