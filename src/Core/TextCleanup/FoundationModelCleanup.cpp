#include "Core/TextCleanup/FoundationModelCleanup.h"

#include "Base/Unicode.h"
#include "Core/TextCleanup/CleanupPrompt.h"
#include "Core/TextCleanup/RuleBasedCleanup.h"

#include <exception>
#include <utility>

namespace {

QString instructions(FoundationModelCleanup::Style style, const CleanupContext &context)
{
    switch (style) {
    case FoundationModelCleanup::Style::full:
        return CleanupPrompt::system(context);
    case FoundationModelCleanup::Style::polish:
        return CleanupPrompt::polishSystem(context);
    case FoundationModelCleanup::Style::rewrite:
        return CleanupPrompt::rewriteSystem(context);
    }
    return CleanupPrompt::system(context);
}

} // namespace

FoundationModelCleanup::FoundationModelCleanup(QString name, Style style,
                                               std::shared_ptr<SystemLanguageModel> model)
    : m_name(std::move(name))
    , m_style(style)
    , m_model(std::move(model))
{ }

QString FoundationModelCleanup::name() const
{
    return m_name;
}

QCoro::Task<QString> FoundationModelCleanup::cleanup(QString text, CleanupContext context) const
{
    return cleanup(std::move(text), std::move(context), CancellationToken());
}

QCoro::Task<QString> FoundationModelCleanup::cleanup(QString text, CleanupContext context,
                                                     CancellationToken cancellation) const
{
    // Copied before the first wait: the stage need not outlive the call.
    const Style style = m_style;
    const std::shared_ptr<SystemLanguageModel> model = m_model;

    if (!model || model->availability() != SystemLanguageModel::Availability::available) {
        co_return text;
    }
    if (Unicode::graphemeCount(text) > inputLimit) {
        // A polish pass must not change words, so its input goes out as it is; the other styles
        // were asked for a cleanup and get the rule-based one.
        if (style == Style::polish) {
            co_return text;
        }
        // Named, not a temporary of the awaited call: GCC 12 destroys such a temporary twice.
        const RuleBasedCleanup rules;
        QString cleaned = co_await rules.cleanup(text, context);
        co_return cleaned;
    }

    std::unique_ptr<LanguageModelSession> session =
        model->makeSession({SystemLanguageModel::UseCase::general,
                            SystemLanguageModel::Guardrails::permissiveContentTransformations,
                            instructions(style, context)});
    if (!session) {
        co_return text;
    }
    LanguageModelSession::GenerationOptions options;
    options.maximumResponseTokens = maximumResponseTokens;
    QString answer;
    try {
        answer = co_await session->respond(text, options, std::move(cancellation));
    } catch (...) {
        // A refusal, an overflowing context and every other failure leave the text as it was.
        co_return text;
    }
    const QString trimmed = Unicode::trimmedWhitespaceAndNewlines(answer);
    co_return trimmed.isEmpty() ? text : trimmed;
}
