#include "Core/TextCleanup/CleanupFactory.h"

#include "Core/TextCleanup/TwoStageCleanup.h"
#include "Fakes/FakeCleanupStage.h"

#include <gtest/gtest.h>

namespace {

CleanupFactory factory(bool taggerLoaded)
{
    CleanupFactory::Services services;
    services.tagger = [taggerLoaded]() -> std::shared_ptr<const TextCleanupService> {
        if (!taggerLoaded) {
            return nullptr;
        }
        static const auto tagger = std::make_shared<FakeCleanupStage>(QStringLiteral("localModel"));
        return tagger;
    };
    return CleanupFactory(std::move(services));
}

// "name", or "name(first stage)" for the two-stage stage, or the cloud stage's settings.
QString describe(const std::shared_ptr<const TextCleanupService> &stage)
{
    if (auto twoStage = std::dynamic_pointer_cast<const TwoStageCleanup>(stage)) {
        return QStringLiteral("%1(%2 %3)")
            .arg(stage->name(), twoStage->first()->name(),
                 twoStage->style() == TwoStageCleanup::Style::guarded ? "guarded" : "free");
    }
    if (auto cloud = std::dynamic_pointer_cast<const CloudCleanup>(stage)) {
        const CloudCleanup::Settings &s = cloud->settings();
        return QStringLiteral("%1(%2 %3 '%4' %5)")
            .arg(stage->name(), s.style, s.task, s.targetLang)
            .arg(s.intensity);
    }
    return stage->name();
}

} // namespace

TEST(CleanupFactoryTest, EachModeGetsItsStage)
{
    struct Case
    {
        CleanupMode mode;
        int intensity;
        bool tagger;
        const char *expected;
    };
    const Case cases[] = {
        {CleanupMode::off, 2, true, "off"},
        {CleanupMode::rules, 2, true, "rules"},
        {CleanupMode::cloud, 3, true, "cloud(faithful cleanup '' 2)"},
        {CleanupMode::cloudRewrite, 3, true, "cloud(polish cleanup '' 3)"},
        {CleanupMode::cloudRewrite, 1, true, "cloud(polish cleanup '' 1)"},
        {CleanupMode::localModel, 2, true, "localModel"},
        {CleanupMode::localModel, 2, false, "rules"},
        {CleanupMode::appleLLM, 2, true, "twoStage(localModel guarded)"},
        {CleanupMode::appleLLM, 2, false, "twoStage(rules guarded)"},
        {CleanupMode::rewrite, 2, true, "twoStage(localModel free)"},
        {CleanupMode::rewrite, 2, false, "twoStage(rules free)"},
    };
    for (const Case &c : cases) {
        CleanupFactory made = factory(c.tagger);
        EXPECT_EQ(describe(made.make(c.mode, c.intensity)), QString::fromUtf8(c.expected))
            << RawEnum::rawValue(c.mode).toStdString() << " intensity " << c.intensity
            << (c.tagger ? " with" : " without") << " the tagger";
    }
}

TEST(CleanupFactoryTest, TheAskAndTranslateTasksGetTheCloudStageAsAsked)
{
    CleanupFactory made = factory(false);
    EXPECT_EQ(describe(made.makeCloud(QStringLiteral("polish"), QStringLiteral("ask"), {}, 2)),
              QStringLiteral("cloud(polish ask '' 2)"));
    EXPECT_EQ(describe(made.makeCloud(QStringLiteral("faithful"), QStringLiteral("translate"),
                                      QStringLiteral("de"), 2)),
              QStringLiteral("cloud(faithful translate 'de' 2)"));
}
