#include "Platform/Pocketsphinx/PocketsphinxRecognitionService.h"

#include "Base/SerialQueue.h"
#include "Core/Transcription/BufferConverter.h"
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
        decoder = state->pool->acquire(state->model);
        stream.emplace(*decoder);
    } catch (...) {
        state->report(std::nullopt, std::current_exception(), true);
        if (decoder) {
            state->pool->release(std::move(decoder));
        }
        return;
    }

    const AudioFormat decoderFormat {double(PocketsphinxDecoder::sampleRate), 1};
    const bool partials = state->request->options().shouldReportPartialResults;
    BufferConverter converter;
    std::vector<std::int16_t> pcm;
    QString reported;
    auto reportText = [&] {
        const QString text = stream->text();
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
                state->report(SpeechRecognizer::Result {stream->finish(), true}, nullptr, true);
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
    PocketsphinxRecognizer(PocketsphinxModel model, PocketsphinxDecoderPool &pool)
        : m_model(std::move(model))
        , m_pool(pool)
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

private:
    const PocketsphinxModel m_model;
    PocketsphinxDecoderPool &m_pool;
    std::mutex m_mutex;
    std::shared_ptr<SerialQueue> m_queue;
};

} // namespace

PocketsphinxRecognitionService::PocketsphinxRecognitionService(PocketsphinxDecoderPool &pool,
                                                               ModelSource models)
    : m_pool(pool)
    , m_models(std::move(models))
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
    return std::make_shared<PocketsphinxRecognizer>(*found, m_pool);
}

std::shared_ptr<SpeechRecognitionService> SpeechRecognitionService::system()
{
    static const auto service = std::make_shared<PocketsphinxRecognitionService>();
    return service;
}
