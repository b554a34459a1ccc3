#include "Platform/Pocketsphinx/PocketsphinxRecognitionService.h"

#include "Base/SerialQueue.h"
#include "Core/DebugLog.h"
#include "Core/Transcription/BufferConverter.h"
#include "Platform/Phonemizer.h"
#include "Platform/Pocketsphinx/PocketsphinxSentences.h"
#include "Platform/Pocketsphinx/PocketsphinxStream.h"

#include <QPromise>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

namespace {

// Shared by a task's handle and its decoding thread.
struct TaskState
{
    PocketsphinxModel model;
    PocketsphinxDecoderPool *pool = nullptr;
    Phonemizer *phonemizer = nullptr;
    std::shared_ptr<SpeechRecognitionRequest> request;
    std::shared_ptr<SerialQueue> queue;

    // Finished when the decoding thread returns, its decoder back in the pool.
    QPromise<void> ended;

    std::mutex mutex;
    std::condition_variable wake;
    bool signalled = false;
    bool cancelled = false;
    SpeechRecognizer::ResultHandler handler;

    void signal()
    {
        {
            std::lock_guard lock(mutex);
            signalled = true;
        }
        wake.notify_one();
    }

    bool isCancelled()
    {
        std::lock_guard lock(mutex);
        return cancelled;
    }

    // Hands a result to the handler on the recogniser's queue. The last report releases the
    // handler, and with it whatever the handler holds.
    void report(std::optional<SpeechRecognizer::Result> result, std::exception_ptr error, bool last)
    {
        SpeechRecognizer::ResultHandler target;
        {
            std::lock_guard lock(mutex);
            if (cancelled || !handler) {
                return;
            }
            target = last ? std::exchange(handler, {}) : handler;
        }
        if (queue) {
            queue->async([target = std::move(target), result = std::move(result), error] {
                target(result, error);
            });
        } else {
            target(result, error);
        }
    }
};

void toPcm16(const AudioBuffer &buffer, std::vector<std::int16_t> &pcm)
{
    pcm.resize(buffer.samples.size());
    for (size_t i = 0; i < buffer.samples.size(); ++i) {
        const float scaled = std::clamp(buffer.samples[i], -1.0f, 1.0f) * 32767.0f;
        pcm[i] = std::int16_t(std::lrint(scaled));
    }
}

// The terms as the decoder's vocabulary, unless it has them already. Words the dictionary lacks
// are pronounced by the phonemizer, for English models only: its phones are those of the English
// acoustic models.
void applyVocabulary(PocketsphinxDecoder &decoder, const QStringList &terms, Phonemizer *phonemizer)
{
    if (decoder.vocabulary().terms() == terms) {
        return;
    }
    const bool english = decoder.model().locale.languageCode() == u"en";
    PocketsphinxVocabulary vocabulary = PocketsphinxVocabulary::fromTerms(
        terms, [&decoder](const QByteArray &word) { return decoder.hasWord(word); },
        english ? phonemizer : nullptr);
    for (const QString &skipped : vocabulary.skipped()) {
        DebugLog::log(
            QStringLiteral("speech: dictionary term \"%1\" cannot be pronounced; not a hint")
                .arg(skipped));
    }
    decoder.setVocabulary(std::move(vocabulary));
}

void decodeAudio(const std::shared_ptr<TaskState> &state);

void decode(const std::shared_ptr<TaskState> &state)
{
    // A task cancelled before its thread ran takes no decoder at all.
    if (!state->isCancelled()) {
        decodeAudio(state);
    }
    state->ended.finish();
}

void decodeAudio(const std::shared_ptr<TaskState> &state)
{
    std::unique_ptr<PocketsphinxDecoder> decoder;
    std::optional<PocketsphinxStream> stream;
    try {
        decoder = state->pool->acquire(state->model, state->request->options().contextualStrings);
    } catch (...) {
        state->report(std::nullopt, std::current_exception(), true);
        return;
    }
    try {
        applyVocabulary(*decoder, state->request->options().contextualStrings, state->phonemizer);
        stream.emplace(*decoder);
    } catch (...) {
        // A decoder whose search could not be rebuilt is not handed out again.
        state->report(std::nullopt, std::current_exception(), true);
        return;
    }

    const bool punctuated = state->request->options().addsPunctuation
        && PocketsphinxSentences::supports(state->model.locale);
    // The text so far, the terms spelled as the user wrote them and, where the request asks for
    // it and the language has the rules, as sentences.
    auto composed = [&](bool ended) {
        std::vector<PocketsphinxStream::Stretch> stretches = stream->stretches();
        QStringList texts;
        for (PocketsphinxStream::Stretch &stretch : stretches) {
            stretch.text = decoder->vocabulary().respell(stretch.text);
            texts.append(stretch.text);
        }
        return punctuated ? PocketsphinxSentences::format(stretches, ended) : texts.join(u' ');
    };

    const AudioFormat decoderFormat {double(PocketsphinxDecoder::sampleRate), 1};
    const bool partials = state->request->options().shouldReportPartialResults;
    BufferConverter converter;
    std::vector<std::int16_t> pcm;
    QString reported;
    auto reportText = [&] {
        const QString text = composed(false);
        if (text != reported) {
            reported = text;
            state->report(SpeechRecognizer::Result {text, false}, nullptr, false);
        }
    };
    // True when an utterance was settled at a pause.
    auto feedDecoder = [&](const AudioBuffer &buffer) {
        if (buffer.isEmpty()) {
            return false;
        }
        toPcm16(buffer, pcm);
        return stream->process(pcm.data(), pcm.size());
    };

    try {
        for (;;) {
            {
                std::unique_lock lock(state->mutex);
                state->wake.wait(lock, [&] { return state->signalled || state->cancelled; });
                state->signalled = false;
                if (state->cancelled) {
                    break;
                }
            }
            SpeechRecognitionRequest::Pending pending = state->request->take();
            for (const AudioBuffer &buffer : pending.buffers) {
                if (state->isCancelled()) {
                    break;
                }
                try {
                    // Settled text is shown at once, not after the audio that queued up while
                    // the utterance ended.
                    if (feedDecoder(converter.convertBuffer(buffer, decoderFormat)) && partials
                        && !state->isCancelled()) {
                        reportText();
                    }
                } catch (const BufferConverter::Error &) {
                    // A buffer in a format that cannot be converted is passed over.
                }
            }
            if (state->isCancelled()) {
                break;
            }
            if (pending.ended) {
                if (converter.hasConverter()) {
                    feedDecoder(converter.drain());
                }
                stream->finish();
                state->report(SpeechRecognizer::Result {composed(true), true}, nullptr, true);
                break;
            }
            if (partials && !pending.buffers.empty()) {
                reportText();
            }
        }
    } catch (...) {
        state->report(std::nullopt, std::current_exception(), true);
    }
    state->request->setWakeHandler({});
    stream.reset();
    state->pool->release(std::move(decoder));
}

class PocketsphinxTask final : public SpeechRecognizer::Task
{
public:
    explicit PocketsphinxTask(std::shared_ptr<TaskState> state)
        : m_state(std::move(state))
        , m_ended(m_state->ended.future())
    { }

    ~PocketsphinxTask() override { cancel(); }

    void cancel() override
    {
        SpeechRecognizer::ResultHandler released;
        {
            std::lock_guard lock(m_state->mutex);
            m_state->cancelled = true;
            released = std::exchange(m_state->handler, {});
        }
        m_state->wake.notify_one();
        // `released` goes here, outside the task's lock: it may hold the last reference to
        // whoever owns this task.
    }

    QFuture<void> ended() const override { return m_ended; }

private:
    std::shared_ptr<TaskState> m_state;
    QFuture<void> m_ended;
};

class PocketsphinxRecognizer final : public SpeechRecognizer
{
public:
    PocketsphinxRecognizer(PocketsphinxModel model, PocketsphinxDecoderPool &pool,
                           Phonemizer &phonemizer)
        : m_model(std::move(model))
        , m_pool(pool)
        , m_phonemizer(phonemizer)
    { }

    SpeechLocale locale() const override { return m_model.locale; }
    bool isAvailable() const override { return m_model.isComplete(); }
    bool supportsOnDeviceRecognition() const override { return true; }

    void setQueue(std::shared_ptr<SerialQueue> queue) override
    {
        std::lock_guard lock(m_mutex);
        m_queue = std::move(queue);
    }

    std::shared_ptr<Task> recognitionTask(std::shared_ptr<SpeechRecognitionRequest> request,
                                          ResultHandler handler) override
    {
        auto state = std::make_shared<TaskState>();
        state->model = m_model;
        state->pool = &m_pool;
        state->phonemizer = &m_phonemizer;
        state->request = std::move(request);
        state->handler = std::move(handler);
        {
            std::lock_guard lock(m_mutex);
            state->queue = m_queue;
        }
        // Audio that arrived before the task started is taken at the first wake-up.
        state->signalled = true;
        std::weak_ptr<TaskState> weak = state;
        state->request->setWakeHandler([weak] {
            if (auto alive = weak.lock()) {
                alive->signal();
            }
        });
        state->ended.start();
        auto task = std::make_shared<PocketsphinxTask>(state);
        std::thread([state] { decode(state); }).detach();
        return task;
    }

    void prepareHints(const QStringList &contextualStrings) override
    {
        m_pool.prepare(
            m_model, contextualStrings,
            [phonemizer = &m_phonemizer](PocketsphinxDecoder &decoder, const QStringList &terms) {
                applyVocabulary(decoder, terms, phonemizer);
            });
    }

private:
    const PocketsphinxModel m_model;
    PocketsphinxDecoderPool &m_pool;
    Phonemizer &m_phonemizer;
    std::mutex m_mutex;
    std::shared_ptr<SerialQueue> m_queue;
};

} // namespace

PocketsphinxRecognitionService::PocketsphinxRecognitionService(PocketsphinxDecoderPool &pool,
                                                               ModelSource models,
                                                               Phonemizer *phonemizer)
    : m_pool(pool)
    , m_models(std::move(models))
    , m_phonemizer(phonemizer ? *phonemizer : Phonemizer::english())
{ }

QList<PocketsphinxModel> PocketsphinxRecognitionService::models() const
{
    return m_models ? m_models() : PocketsphinxModel::installed();
}

SpeechRecognitionService::AuthorizationStatus
PocketsphinxRecognitionService::authorizationStatus() const
{
    return models().isEmpty() ? AuthorizationStatus::denied : AuthorizationStatus::authorized;
}

QCoro::Task<bool> PocketsphinxRecognitionService::requestAuthorization()
{
    // Nobody to ask on Linux: installing a model is the user's consent.
    co_return authorizationStatus() == AuthorizationStatus::authorized;
}

QList<SpeechLocale> PocketsphinxRecognitionService::supportedLocales() const
{
    QList<SpeechLocale> locales;
    for (const PocketsphinxModel &model : models()) {
        locales.append(model.locale);
    }
    return locales;
}

std::shared_ptr<SpeechRecognizer>
PocketsphinxRecognitionService::makeRecognizer(const SpeechLocale &locale)
{
    const QList<PocketsphinxModel> installed = models();
    const auto found =
        std::find_if(installed.cbegin(), installed.cend(),
                     [&](const PocketsphinxModel &model) { return model.locale == locale; });
    if (found == installed.cend()) {
        return nullptr;
    }
    m_pool.preload(*found);
    return std::make_shared<PocketsphinxRecognizer>(*found, m_pool, m_phonemizer);
}

std::shared_ptr<SpeechRecognitionService> SpeechRecognitionService::system()
{
    static const auto service = std::make_shared<PocketsphinxRecognitionService>();
    return service;
}
