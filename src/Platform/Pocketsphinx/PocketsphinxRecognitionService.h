#pragma once

#include "Platform/Pocketsphinx/PocketsphinxDecoderPool.h"
#include "Platform/Pocketsphinx/PocketsphinxModel.h"
#include "Platform/SpeechRecognitionService.h"

class Phonemizer;

#include <functional>

// Speech recognition with pocketsphinx: one locale per installed model, recognition authorised
// when some model is installed. Each recognition task decodes on a thread of its own, converting
// the captured audio to the decoder's 16 kHz mono and settling the speech at its pauses as it
// comes (PocketsphinxStream); it reports the text so far as a partial result whenever it
// changes and the text of all the audio as the final result once the audio has ended.
//
// The request's contextual strings (the user's dictionary terms) become the decoder's vocabulary
// for the task: their words are made likelier, those the dictionary lacks are added with
// pronunciations from the phonemizer, and they come out spelled as the user wrote them. Where the
// request adds punctuation and the language has the rules (English), the text comes as
// sentences (PocketsphinxSentences).
class PocketsphinxRecognitionService final : public SpeechRecognitionService
{
public:
    using ModelSource = std::function<QList<PocketsphinxModel>()>;

    // `models` lists the installed models when asked (by default: PocketsphinxModel::installed());
    // `phonemizer` pronounces the words of the terms that the dictionary lacks (by default:
    // Phonemizer::english()).
    explicit PocketsphinxRecognitionService(
        PocketsphinxDecoderPool &pool = PocketsphinxDecoderPool::shared(), ModelSource models = {},
        Phonemizer *phonemizer = nullptr);

    AuthorizationStatus authorizationStatus() const override;
    QCoro::Task<bool> requestAuthorization() override;
    QList<SpeechLocale> supportedLocales() const override;
    // Also starts loading a decoder for the locale in the background, so that the first
    // recognition does not wait for it.
    std::shared_ptr<SpeechRecognizer> makeRecognizer(const SpeechLocale &locale) override;

private:
    QList<PocketsphinxModel> models() const;

    PocketsphinxDecoderPool &m_pool;
    ModelSource m_models;
    Phonemizer &m_phonemizer;
};
