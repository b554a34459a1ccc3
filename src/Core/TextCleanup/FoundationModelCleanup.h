#pragma once

#include "Base/CancellationToken.h"
#include "Core/TextCleanup/TextCleanupService.h"
#include "Platform/SystemLanguageModel.h"

#include <QString>

#include <memory>

// Sends a text once through the on-device language model, under the instructions of its style,
// and yields the model's answer trimmed. Never fails outward: when the model is unavailable,
// errs, refuses or answers with nothing, the input comes back unchanged; an input too long for
// the model comes back unchanged (polish) or rule-based cleaned (full, rewrite). Nothing is
// logged.
//
// Used as the second stage of TwoStageCleanup. Immutable; a new model session is made for every
// call and dropped after it.
class FoundationModelCleanup : public TextCleanupService
{
public:
    enum class Style {
        // Full cleanup of a raw transcript (no cleanup mode selects it).
        full,
        // Formatting of an already cleaned text.
        polish,
        // Free rewriting of an already cleaned text.
        rewrite,
    };

    // The longest input sent to the model, in characters; a longer one never reaches it.
    static constexpr qsizetype inputLimit = 3000;
    // The longest answer asked of the model, in tokens.
    static constexpr int maximumResponseTokens = 2048;

    FoundationModelCleanup(
        QString name, Style style,
        std::shared_ptr<SystemLanguageModel> model = SystemLanguageModel::system());

    QString name() const override;
    Style style() const { return m_style; }

    QCoro::Task<QString> cleanup(QString text, CleanupContext context) const override;
    // The same, for a caller that may stop waiting: cancelling `cancellation` tells the model's
    // session so, and the caller drops whatever comes back.
    QCoro::Task<QString> cleanup(QString text, CleanupContext context,
                                 CancellationToken cancellation) const;

private:
    QString m_name;
    Style m_style;
    std::shared_ptr<SystemLanguageModel> m_model;
};
