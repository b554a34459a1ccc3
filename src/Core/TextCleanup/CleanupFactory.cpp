#include "Core/TextCleanup/CleanupFactory.h"

#include "Core/TextCleanup/PassthroughCleanup.h"
#include "Core/TextCleanup/RuleBasedCleanup.h"
#include "Core/TextCleanup/TwoStageCleanup.h"

CleanupFactory::CleanupFactory(Services services)
    : m_services(std::move(services))
{ }

std::shared_ptr<const TextCleanupService> CleanupFactory::localStage() const
{
    if (m_services.tagger) {
        if (auto tagger = m_services.tagger()) {
            return tagger;
        }
    }
    return std::make_shared<RuleBasedCleanup>();
}

std::shared_ptr<const TextCleanupService> CleanupFactory::make(CleanupMode mode, int intensity)
{
    switch (mode) {
    case CleanupMode::off:
        return std::make_shared<PassthroughCleanup>();
    case CleanupMode::rules:
        break;
    case CleanupMode::cloud:
        // Keeping the wording has a single strength.
        return makeCloud(QStringLiteral("faithful"), QStringLiteral("cleanup"), QString(), 2);
    case CleanupMode::cloudRewrite:
        return makeCloud(QStringLiteral("polish"), QStringLiteral("cleanup"), QString(), intensity);
    case CleanupMode::localModel:
        return localStage();
    case CleanupMode::appleLLM:
        return std::make_shared<TwoStageCleanup>(localStage(), TwoStageCleanup::Style::guarded);
    case CleanupMode::rewrite:
        return std::make_shared<TwoStageCleanup>(localStage(), TwoStageCleanup::Style::free);
    }
    return std::make_shared<RuleBasedCleanup>();
}

std::shared_ptr<const TextCleanupService> CleanupFactory::makeCloud(const QString &style,
                                                                    const QString &task,
                                                                    const QString &targetLang,
                                                                    int intensity)
{
    return std::make_shared<CloudCleanup>(
        m_services.cloud, CloudCleanup::Settings {style, task, targetLang, intensity});
}
