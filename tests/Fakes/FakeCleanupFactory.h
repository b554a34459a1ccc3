#pragma once

#include "Core/Services/CleanupStageFactory.h"
#include "Fakes/FakeCleanupStage.h"

#include <QStringList>

// Builds FakeCleanupStage objects: for a mode, a stage named after it ("rules" for rules, "cloud"
// for both cloud modes, and so on); for the cloud construction, a stage named "cloud". Every
// stage shares the factory's transform, gate and call list. The requests are recorded as
// "make <mode> <intensity>" and "cloud <style> <task> <targetLang> <intensity>".
class FakeCleanupFactory final : public CleanupStageFactory
{
public:
    std::shared_ptr<const TextCleanupService> make(CleanupMode mode, int intensity) override
    {
        requests << QStringLiteral("make %1 %2").arg(RawEnum::rawValue(mode)).arg(intensity);
        return stage(isCloud(mode) ? QStringLiteral("cloud") : RawEnum::rawValue(mode));
    }

    std::shared_ptr<const TextCleanupService> makeCloud(const QString &style, const QString &task,
                                                        const QString &targetLang,
                                                        int intensity) override
    {
        requests << QStringLiteral("cloud %1 %2 %3 %4").arg(style, task, targetLang).arg(intensity);
        return stage(QStringLiteral("cloud"));
    }

    QStringList requests;
    std::function<QString(const QString &)> transform;
    std::shared_ptr<TestGate> gate;
    std::shared_ptr<QList<FakeCleanupStage::Call>> calls =
        std::make_shared<QList<FakeCleanupStage::Call>>();

private:
    std::shared_ptr<const TextCleanupService> stage(const QString &name)
    {
        auto stage = std::make_shared<FakeCleanupStage>(name);
        stage->transform = transform;
        stage->gate = gate;
        stage->calls = calls;
        return stage;
    }
};
