#include "Core/TextCleanup/FoundationModelCleanup.h"

#include "Core/TextCleanup/CleanupPrompt.h"
#include "Core/TextCleanup/RuleBasedCleanup.h"
#include "Fakes/ScriptedLanguageModel.h"

#include <gtest/gtest.h>

#include <QCoro/QCoroTask>

#include "TestSupport/QtPrinters.h"

#include <stdexcept>

namespace {

using Style = FoundationModelCleanup::Style;
using Availability = SystemLanguageModel::Availability;

struct StyleCase
{
    const char *name;
    Style style;
    QString (*instructions)(const CleanupContext &);
};

const StyleCase styles[] = {
    {"full", Style::full, &CleanupPrompt::system},
    {"polish", Style::polish, &CleanupPrompt::polishSystem},
    {"rewrite", Style::rewrite, &CleanupPrompt::rewriteSystem},
};

CleanupContext japaneseContext()
{
    CleanupContext context;
    context.localeIdentifier = QStringLiteral("ja-JP");
    context.focus = FocusContext {};
    context.focus->appName = QStringLiteral("Mail");
    context.customInstructions = QStringLiteral("Polite form.");
    context.dictionaryTerms = {QStringLiteral("Sonorvelle")};
    return context;
}

QString clean(const std::shared_ptr<SystemLanguageModel> &model, Style style, const QString &text,
              const CleanupContext &context = japaneseContext())
{
    const FoundationModelCleanup stage(QStringLiteral("model"), style, model);
    return QCoro::waitFor(stage.cleanup(text, context));
}

// `count` characters of two scalars each (e and a combining acute accent): twice as many UTF-16
// units as characters, so a limit counted in units or scalars would be found out.
QString accentedCharacters(qsizetype count)
{
    return QStringLiteral("e\u0301").repeated(count);
}

} // namespace

TEST(FoundationModelCleanup, UnavailableModelLeavesTheInputUntouched)
{
    const QString input = QStringLiteral("  えーっと、明日 10時に\n会議です。 ");
    for (const Availability availability :
         {Availability::deviceNotEligible, Availability::appleIntelligenceNotEnabled,
          Availability::modelNotReady}) {
        auto model = std::make_shared<ScriptedLanguageModel>();
        model->state = availability;
        for (const StyleCase &style : styles) {
            EXPECT_EQ(clean(model, style.style, input), input) << style.name;
        }
        EXPECT_EQ(model->sessionsMade, 0);
    }
    // This system's own model is one of them.
    for (const StyleCase &style : styles) {
        EXPECT_EQ(clean(SystemLanguageModel::system(), style.style, input), input) << style.name;
    }
}

TEST(FoundationModelCleanup, AsksOneNewSessionWithTheStylesInstructionsAndTheTextAsPrompt)
{
    const CleanupContext context = japaneseContext();
    const QString input = QStringLiteral("明日の会議は10時からです");
    for (const StyleCase &style : styles) {
        auto model = std::make_shared<ScriptedLanguageModel>();
        model->script = {ScriptedLanguageModel::answer(QStringLiteral("first")),
                         ScriptedLanguageModel::answer(QStringLiteral("second"))};
        EXPECT_EQ(clean(model, style.style, input, context), QStringLiteral("first"));
        EXPECT_EQ(clean(model, style.style, input, context), QStringLiteral("second"));

        EXPECT_EQ(model->sessionsMade, 2) << style.name;
        ASSERT_EQ(model->calls.size(), 2) << style.name;
        const ScriptedLanguageModel::Call &call = model->calls.first();
        EXPECT_EQ(call.prompt, input) << style.name;
        EXPECT_EQ(call.configuration.instructions, style.instructions(context)) << style.name;
        EXPECT_EQ(call.configuration.useCase, SystemLanguageModel::UseCase::general);
        EXPECT_EQ(call.configuration.guardrails,
                  SystemLanguageModel::Guardrails::permissiveContentTransformations);
        EXPECT_EQ(call.options.maximumResponseTokens, 2048);
    }
}

TEST(FoundationModelCleanup, InputLimitIsThreeThousandCharacters)
{
    const CleanupContext context = japaneseContext();
    const QString atLimit = accentedCharacters(3000);
    // Fillers and a doubled word, so the rule-based result differs from the input.
    const QString overLimit = QStringLiteral("えーっと、") + accentedCharacters(2996);
    ASSERT_NE(RuleBasedCleanup::clean(overLimit, context.localeIdentifier), overLimit);

    for (const StyleCase &style : styles) {
        auto model = std::make_shared<ScriptedLanguageModel>();
        model->script = {ScriptedLanguageModel::answer(QStringLiteral("answered"))};
        EXPECT_EQ(clean(model, style.style, atLimit, context), QStringLiteral("answered"))
            << style.name;

        const QString expected = style.style == Style::polish
            ? overLimit
            : RuleBasedCleanup::clean(overLimit, context.localeIdentifier);
        EXPECT_EQ(clean(model, style.style, overLimit, context), expected) << style.name;
        EXPECT_EQ(model->calls.size(), 1) << style.name << ": the longer input reached the model";
    }
}

TEST(FoundationModelCleanup, FailedOrEmptyAnswersLeaveTheInputAndAnswersAreTrimmed)
{
    using Error = LanguageModelSession::GenerationError;
    struct Case
    {
        const char *name;
        ScriptedLanguageModel::Reply reply;
        QString expected; // empty: the input
    };
    const QString input = QStringLiteral(" 明日は晴れ ");
    const Case cases[] = {
        {"blanks and line breaks only",
         ScriptedLanguageModel::answer(QStringLiteral(" \n\t\n\u3000")),
         {}},
        {"empty", ScriptedLanguageModel::answer(QString()), {}},
        {"surrounding blank lines",
         ScriptedLanguageModel::answer(QStringLiteral("\n\n  明日は晴れ。\n- 傘\n\n")),
         QStringLiteral("明日は晴れ。\n- 傘")},
        {"context window exceeded",
         ScriptedLanguageModel::failure(Error(Error::Kind::exceededContextWindowSize)),
         {}},
        {"guardrail violation",
         ScriptedLanguageModel::failure(Error(Error::Kind::guardrailViolation)),
         {}},
        {"another generation error", ScriptedLanguageModel::failure(Error(Error::Kind::other)), {}},
        {"an error of another type",
         ScriptedLanguageModel::failure(std::runtime_error("model crashed")),
         {}},
    };
    for (const Case &c : cases) {
        for (const StyleCase &style : styles) {
            auto model = std::make_shared<ScriptedLanguageModel>();
            model->script = {c.reply};
            EXPECT_EQ(clean(model, style.style, input), c.expected.isEmpty() ? input : c.expected)
                << c.name << " (" << style.name << ")";
        }
    }

    // A model that reports itself available and still makes no session.
    auto model = std::make_shared<ScriptedLanguageModel>();
    model->makesSessions = false;
    EXPECT_EQ(clean(model, Style::rewrite, input), input);
}
