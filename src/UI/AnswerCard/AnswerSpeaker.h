#pragma once

#include "Core/Services/AnswerSpeaking.h"
#include "Platform/SpeechSynthesizer.h"

#include <chrono>
#include <memory>
#include <optional>

class AppSettings;
class Clock;
class LanguageRecognizer;
class Timer;

// Reads an answer of the ask task aloud in a voice of the answer's language. Main thread only.
//
// The synthesizer reports the end of every utterance, also of one that was stopped, and such a
// report can arrive after the next utterance has started: only the report of the newest
// utterance ends the speaking state. Speech that never ends (speech-dispatcher that lost the
// sound server keeps "speaking" without an error) is ended by a watchdog whose limit grows with
// the text's length, and reported as a failure.
class AnswerSpeaker final : public AnswerSpeaking
{
    Q_OBJECT

public:
    // The watchdog's limit: a fixed allowance (engine start included) plus a generous time per
    // character (speech runs at about 15 characters a second).
    static constexpr std::chrono::seconds watchdogBase {10};
    static constexpr std::chrono::milliseconds watchdogPerCharacter {150};

    struct Services
    {
        SpeechSynthesizer *synthesizer = nullptr;
        LanguageRecognizer *recognizer = nullptr;
        AppSettings *settings = nullptr;
        Clock *clock = nullptr;
    };

    explicit AnswerSpeaker(Services services, QObject *parent = nullptr);
    ~AnswerSpeaker() override;

    bool isSpeaking() const override { return m_speaking; }
    void speak(const QString &text) override;
    void stop() override;

    // The language of `text`: the recognised one, else the recognition locale of the settings,
    // else the system's locale.
    QString languageOf(const QString &text) const;
    // The first installed voice whose language starts with the first two characters of
    // `language` (the system lists no voice quality, so the first one wins); absent when none.
    static std::optional<SpeechSynthesizer::Voice>
    voiceFor(const QString &language, const QList<SpeechSynthesizer::Voice> &voices);
    static std::chrono::nanoseconds watchdogFor(const QString &text);

Q_SIGNALS:
    // An utterance failed or never ended.
    void failed();

private:
    void setSpeaking(bool speaking);
    void utteranceEnded(bool failed);
    void watchdogFired();

    Services m_services;
    std::unique_ptr<Timer> m_watchdog;
    bool m_speaking = false;
    // Utterances handed to the synthesizer whose end has not been reported yet.
    int m_outstanding = 0;
};
