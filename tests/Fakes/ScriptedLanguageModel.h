#pragma once

#include "Fakes/ManualGate.h"
#include "Platform/SystemLanguageModel.h"

#include <QList>

#include <deque>
#include <exception>
#include <memory>
#include <utility>

// An on-device language model whose answers the test scripts, one reply per respond call in
// order; with the script used up, the model answers with the prompt unchanged. Records every
// session it makes and every call it gets. Single-threaded.
class ScriptedLanguageModel final : public SystemLanguageModel
{
public:
    struct Reply
    {
        QString text;
        // Thrown in place of an answer.
        std::exception_ptr error;
        // When set, the answer waits until the test opens the gate.
        std::shared_ptr<ManualGate> gate;
        // Opens the gate as soon as the caller cancels: a model that answers when told to stop.
        bool answerWhenCancelled = false;
    };

    static Reply answer(QString text) { return Reply {std::move(text), nullptr, nullptr, false}; }
    template<typename E>
    static Reply failure(E error)
    {
        return Reply {{}, std::make_exception_ptr(std::move(error)), nullptr, false};
    }
    // An answer that comes only once `gate` is opened.
    static Reply held(std::shared_ptr<ManualGate> gate, QString text)
    {
        return Reply {std::move(text), nullptr, std::move(gate), false};
    }

    struct Call
    {
        SessionConfiguration configuration;
        QString prompt;
        LanguageModelSession::GenerationOptions options;
        CancellationToken cancellation;
        // Set once the model delivered (or threw).
        bool answered = false;
    };

    Availability availability() const override { return state; }

    std::unique_ptr<LanguageModelSession> makeSession(SessionConfiguration configuration) override
    {
        ++sessionsMade;
        if (!makesSessions) {
            return nullptr;
        }
        return std::make_unique<Session>(this, std::move(configuration));
    }

    Availability state = Availability::available;
    bool makesSessions = true;
    int sessionsMade = 0;
    std::deque<Reply> script;
    QList<Call> calls;

private:
    class Session final : public LanguageModelSession
    {
    public:
        Session(ScriptedLanguageModel *model, SessionConfiguration configuration)
            : m_model(model)
            , m_configuration(std::move(configuration))
        { }

        QCoro::Task<QString> respond(QString prompt, GenerationOptions options,
                                     CancellationToken cancellation) override
        {
            ScriptedLanguageModel *model = m_model;
            const qsizetype index = model->calls.size();
            model->calls.append(Call {m_configuration, prompt, options, cancellation, false});
            Reply reply;
            if (model->script.empty()) {
                reply = answer(prompt);
            } else {
                reply = std::move(model->script.front());
                model->script.pop_front();
            }
            if (reply.gate) {
                if (reply.answerWhenCancelled) {
                    std::shared_ptr<ManualGate> gate = reply.gate;
                    cancellation.onCancel([gate] { gate->open(); });
                }
                co_await reply.gate->wait();
            }
            model->calls[index].answered = true;
            if (reply.error) {
                std::rethrow_exception(reply.error);
            }
            co_return reply.text;
        }

    private:
        ScriptedLanguageModel *m_model;
        SessionConfiguration m_configuration;
    };
};
