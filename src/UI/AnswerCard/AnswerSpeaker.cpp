#include "UI/AnswerCard/AnswerSpeaker.h"

#include "Base/Clock.h"
#include "Base/Timer.h"
#include "Core/AppSettings.h"
#include "Core/DebugLog.h"
#include "Platform/LanguageRecognizer.h"

#include <QLocale>

AnswerSpeaker::AnswerSpeaker(Services services, QObject *parent)
    : AnswerSpeaking(parent)
    , m_services(services)
    , m_watchdog(services.clock->makeTimer())
{
    Q_ASSERT(m_services.synthesizer && m_services.recognizer && m_services.settings);
    connect(m_services.synthesizer, &SpeechSynthesizer::utteranceEnded, this,
            &AnswerSpeaker::utteranceEnded);
    connect(m_watchdog.get(), &Timer::timeout, this, &AnswerSpeaker::watchdogFired);
}

AnswerSpeaker::~AnswerSpeaker() = default;

std::chrono::nanoseconds AnswerSpeaker::watchdogFor(const QString &text)
{
    return watchdogBase + watchdogPerCharacter * text.size();
}

QString AnswerSpeaker::languageOf(const QString &text) const
{
    const QString recognised = m_services.recognizer->dominantLanguage(text);
    if (!recognised.isEmpty()) {
        return recognised;
    }
    if (const auto &stored = m_services.settings->speechLocaleID()) {
        return QLocale(*stored).name();
    }
    return QLocale().name();
}

std::optional<SpeechSynthesizer::Voice>
AnswerSpeaker::voiceFor(const QString &language, const QList<SpeechSynthesizer::Voice> &voices)
{
    const QString prefix = language.left(2);
    for (const SpeechSynthesizer::Voice &voice : voices) {
        if (voice.language.startsWith(prefix, Qt::CaseInsensitive)) {
            return voice;
        }
    }
    return std::nullopt;
}

void AnswerSpeaker::speak(const QString &text)
{
    const QString language = languageOf(text);
    const auto voice = voiceFor(language, m_services.synthesizer->voices());
    ++m_outstanding;
    m_watchdog->start(watchdogFor(text), false);
    setSpeaking(true);
    m_services.synthesizer->say(text, voice, language);
}

void AnswerSpeaker::stop()
{
    if (!m_speaking) {
        return;
    }
    m_watchdog->stop();
    setSpeaking(false);
    m_services.synthesizer->stop();
}

void AnswerSpeaker::utteranceEnded(bool failed)
{
    if (m_outstanding == 0) {
        return;
    }
    --m_outstanding;
    // An older, stopped utterance: the newest one still runs.
    if (m_outstanding > 0 || !m_speaking) {
        return;
    }
    m_watchdog->stop();
    setSpeaking(false);
    if (failed) {
        DebugLog::log(QStringLiteral("speech: reading the answer failed"));
        Q_EMIT this->failed();
    }
}

void AnswerSpeaker::watchdogFired()
{
    if (!m_speaking) {
        return;
    }
    DebugLog::log(QStringLiteral("speech: the answer was still being read when it should have "
                                 "ended; stopped"));
    // Nothing the engine still owes will be matched to a later utterance.
    m_outstanding = 0;
    setSpeaking(false);
    m_services.synthesizer->stop();
    Q_EMIT failed();
}

void AnswerSpeaker::setSpeaking(bool speaking)
{
    if (m_speaking == speaking) {
        return;
    }
    m_speaking = speaking;
    Q_EMIT isSpeakingChanged();
}
