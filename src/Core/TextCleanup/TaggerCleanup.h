#pragma once

#include "Core/TextCleanup/TextCleanupService.h"
#include "Core/TextCleanup/UnigramTokenizer.h"
#include "Platform/TaggerModel.h"
#include "Platform/TaggerModelRuntime.h"

#include <QString>

#include <memory>
#include <string>
#include <vector>

// Cleanup of Japanese transcripts by a token-tagger model: the model marks every token keep or
// delete; the stage removes the scalars of deleted tokens (fillers, hesitations, false starts),
// drops the first saying of a phrase restarted across a deletion, repairs the punctuation the
// deletions disturbed and ends the text with a sentence-end mark. Other languages pass unchanged.
//
// Immutable; all calls share the one loaded model.
class TaggerCleanup : public TextCleanupService
{
public:
    using Assets = TaggerModelRuntime::Assets;

    // The process's one stage, loaded on first use (a caller arriving during the load waits for
    // it) and never reloaded; null when the system has no tagger model or it failed to load.
    static std::shared_ptr<TaggerCleanup> shared();

    // Locates the assets through `runtime` and loads them: null without assets (silently) or when
    // loading fails (logged as "TaggerCleanup: load failed: " and the reason).
    static std::shared_ptr<TaggerCleanup> load(TaggerModelRuntime &runtime);

    // Builds the tokenizer from the vocabulary, then loads the model. Throws the tokenizer's
    // UnigramTokenizer::Error or the runtime's error.
    TaggerCleanup(const Assets &assets, TaggerModelRuntime &runtime);

    // "localModel".
    QString name() const override;

    // Cleans a transcript whose locale is Japanese (only context.localeIdentifier is read); runs
    // the model off the calling thread. Returns the text unchanged for other locales, for blank
    // text and when inference fails (logged as "TaggerCleanup: inference failed: " and the
    // reason).
    QCoro::Task<QString> cleanup(QString text, CleanupContext context) const override;

    // At each first kept scalar after a deleted run, marks for deletion the last k kept scalars
    // before the run when they equal the k scalars from the seam on (k = 4, 3, 2, 1, longest
    // first; the k scalars from the seam must all be kept). Does nothing unless `drop` has one
    // flag per scalar.
    static void collapseSeamRestarts(const std::u32string &scalars, std::vector<bool> &drop);

private:
    // The cleaned text of a trimmed, non-empty transcript. Throws when the model fails.
    static QString infer(const UnigramTokenizer &tokenizer, TaggerModel &model,
                         const QString &trimmed);

    UnigramTokenizer m_tokenizer;
    std::shared_ptr<TaggerModel> m_model;
};
