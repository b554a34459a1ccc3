#pragma once

#include "Base/Clock.h"
#include "Core/TextCleanup/FoundationModelCleanup.h"
#include "Core/TextCleanup/TextCleanupService.h"
#include "Platform/SystemLanguageModel.h"

#include <QString>

#include <chrono>
#include <memory>
#include <optional>

// The cleanup stage of the modes appleLLM (guarded) and rewrite (free). A local first stage runs
// and its text is always kept as the fallback; where the on-device language model can be used, the
// model then polishes (guarded) or rewrites (free) that text, and its answer replaces it only when
// it is not empty after sanitising, at most 2f + 64 characters long (f: the first stage's length)
// and passes the fidelity guard: guarded keeps only formatting changes (isFaithful), free keeps
// every key token (keyContentPreserved) and gets one more attempt when the first answer lost one.
//
// A first stage that left nothing (blanks at most) is the result without asking the model, and
// when the model's pass gives the first stage's text back (it failed, or changed nothing), that
// text is the result as it stands.
//
// Each attempt of the model is given ten seconds of `clock`'s time. An answer that comes later is
// dropped without being waited for: the model is told to stop and the first stage's text goes out
// at the deadline. Nothing is logged. Immutable; may be shared.
class TwoStageCleanup : public TextCleanupService
{
public:
    enum class Style {
        // Mode appleLLM: the model may only format.
        guarded,
        // Mode rewrite: the model may reword, keeping every number, name and key term.
        free,
    };

    // How long one attempt of the model may take.
    static constexpr std::chrono::nanoseconds attemptTimeout = std::chrono::seconds(10);

    // `first` is the tagger stage when its model loaded, else the rule-based stage. The clock
    // must outlive every call.
    TwoStageCleanup(std::shared_ptr<const TextCleanupService> first, Style style,
                    std::shared_ptr<SystemLanguageModel> model = SystemLanguageModel::system(),
                    Clock &clock = Clock::system());

    // "twoStage", for both styles.
    QString name() const override;
    const std::shared_ptr<const TextCleanupService> &first() const { return m_first; }
    Style style() const { return m_style; }

    QCoro::Task<QString> cleanup(QString text, CleanupContext context) const override;

    // Normalises a model answer: trims it, drops a first line that announces the text ("以下" …
    // ending in "。", ":" or "："), and unwraps the text from 「」, 『』, plain and curly quotation
    // marks, in that order, unless the closing mark also occurs inside.
    static QString sanitize(const QString &text);

private:
    // One attempt: the model's style of this stage on `first`, or nothing when the deadline came
    // first.
    static QCoro::Task<std::optional<QString>>
    withTimeout(Clock &clock, FoundationModelCleanup stage, QString text, CleanupContext context);

    std::shared_ptr<const TextCleanupService> m_first;
    Style m_style;
    std::shared_ptr<SystemLanguageModel> m_model;
    Clock &m_clock;
};
