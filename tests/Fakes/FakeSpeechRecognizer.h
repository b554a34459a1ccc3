#pragma once

#include "Platform/SpeechRecognizer.h"

#include <QStringList>

#include <atomic>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

// A recogniser driven by the test: every recognition task it starts is kept in `tasks`, and the
// test reports partial and final results, or errors, through the task (from the test's thread, or
// from another one to race the engine's callers).
class FakeSpeechRecognizer final : public SpeechRecognizer
{
public:
    class FakeTask final : public Task
    {
    public:
        FakeTask(std::shared_ptr<SpeechRecognitionRequest> request, ResultHandler handler)
            : request(std::move(request))
            , m_handler(std::move(handler))
        { }

        void cancel() override
        {
            ResultHandler released;
            std::lock_guard lock(m_mutex);
            cancelled = true;
            released = std::exchange(m_handler, {});
        }

        void partial(const QString &text) { report(Result {text, false}, nullptr, false); }
        void final(const QString &text) { report(Result {text, true}, nullptr, true); }
        void fail(std::exception_ptr error) { report(std::nullopt, std::move(error), true); }

        // Buffers appended to the request since the last call.
        std::vector<AudioBuffer> takeAudio() { return request->take().buffers; }
        bool isAudioEnded() const { return request->isAudioEnded(); }
        bool hasHandler() const
        {
            std::lock_guard lock(m_mutex);
            return bool(m_handler);
        }

        const std::shared_ptr<SpeechRecognitionRequest> request;
        std::atomic<bool> cancelled = false;

    private:
        void report(std::optional<Result> result, std::exception_ptr error, bool last)
        {
            ResultHandler handler;
            {
                std::lock_guard lock(m_mutex);
                // A copy: the handler may drop this task, and the last report releases it.
                handler = last ? std::exchange(m_handler, {}) : m_handler;
            }
            if (handler) {
                handler(result, error);
            }
        }

        mutable std::mutex m_mutex;
        ResultHandler m_handler;
    };

    explicit FakeSpeechRecognizer(SpeechLocale locale)
        : m_locale(std::move(locale))
    { }

    SpeechLocale locale() const override { return m_locale; }
    bool isAvailable() const override { return available; }
    bool supportsOnDeviceRecognition() const override { return onDevice; }
    void setQueue(std::shared_ptr<SerialQueue> queue) override { this->queue = std::move(queue); }

    std::shared_ptr<Task> recognitionTask(std::shared_ptr<SpeechRecognitionRequest> request,
                                          ResultHandler handler) override
    {
        auto task = std::make_shared<FakeTask>(std::move(request), std::move(handler));
        tasks.push_back(task);
        return task;
    }

    void prepareHints(const QStringList &contextualStrings) override
    {
        preparedHints.append(contextualStrings);
    }

    // Releases every handler (and the engine they hold).
    void releaseAll()
    {
        for (const auto &task : tasks) {
            task->cancel();
        }
    }

    bool available = true;
    bool onDevice = true;
    std::shared_ptr<SerialQueue> queue;
    std::vector<std::shared_ptr<FakeTask>> tasks;
    QList<QStringList> preparedHints;

private:
    SpeechLocale m_locale;
};
