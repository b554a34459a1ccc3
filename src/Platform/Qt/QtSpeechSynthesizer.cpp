#include "Platform/Qt/QtSpeechSynthesizer.h"

#include "Core/DebugLog.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTextToSpeech>
#include <QThread>

QtSpeechSynthesizer::QtSpeechSynthesizer(QString engine, QObject *parent)
    : SpeechSynthesizer(parent)
    , m_engineName(std::move(engine))
{ }

QtSpeechSynthesizer::~QtSpeechSynthesizer()
{
    if (m_thread) {
        m_thread->wait();
        delete m_thread;
    }
    delete m_engine;
}

QString QtSpeechSynthesizer::keyOf(const Voice &voice)
{
    return voice.language + QLatin1Char('\n') + voice.name;
}

void QtSpeechSynthesizer::warmUp()
{
    if (m_thread) {
        return;
    }
    QPointer<QtSpeechSynthesizer> self(this);
    QThread *mainThread = thread();
    const QString engineName = m_engineName;
    m_thread = QThread::create([self, mainThread, engineName] {
        auto *engine = new QTextToSpeech(engineName);
        QList<Voice> voices;
        QHash<QString, QVoice> byKey;
        if (engine->state() != QTextToSpeech::Error) {
            // Qt lists the voices of the current locale only: walk every locale once, here,
            // where the round trips to speech-dispatcher cost the main thread nothing.
            const QLocale initial = engine->locale();
            for (const QLocale &locale : engine->availableLocales()) {
                engine->setLocale(locale);
                const QList<QVoice> localeVoices = engine->availableVoices();
                for (const QVoice &voice : localeVoices) {
                    const Voice entry {voice.name(), locale.bcp47Name()};
                    voices.append(entry);
                    byKey.insert(keyOf(entry), voice);
                }
            }
            engine->setLocale(initial);
        }
        engine->moveToThread(mainThread);
        const bool delivered = QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, engine, voices = std::move(voices), byKey = std::move(byKey)]() mutable {
                if (self) {
                    self->adopt(engine, std::move(voices), std::move(byKey));
                } else {
                    delete engine;
                }
            },
            Qt::QueuedConnection);
        if (!delivered) {
            delete engine;
        }
    });
    m_thread->start(QThread::LowPriority);
}

void QtSpeechSynthesizer::adopt(QTextToSpeech *engine, QList<Voice> voices,
                                QHash<QString, QVoice> byKey)
{
    m_engine = engine;
    m_engine->setParent(nullptr);
    m_voices = std::move(voices);
    m_voiceByKey = std::move(byKey);
    if (m_engine->state() == QTextToSpeech::Error) {
        DebugLog::log(QStringLiteral("speech: engine %1 unavailable: %2")
                          .arg(m_engineName, m_engine->errorString()));
    }
    connect(m_engine, &QTextToSpeech::stateChanged, this,
            [this](QTextToSpeech::State state) { engineStateChanged(int(state)); });
    const QList<Utterance> waiting = std::exchange(m_waiting, {});
    for (const Utterance &utterance : waiting) {
        speakNow(utterance);
    }
    Q_EMIT ready();
}

QList<SpeechSynthesizer::Voice> QtSpeechSynthesizer::voices()
{
    return m_voices;
}

void QtSpeechSynthesizer::say(const QString &text, const std::optional<Voice> &voice,
                              const QString &language)
{
    Utterance utterance {text, voice, language};
    if (!m_engine) {
        m_waiting.append(std::move(utterance));
        warmUp();
        return;
    }
    speakNow(utterance);
}

void QtSpeechSynthesizer::speakNow(const Utterance &utterance)
{
    // The engine cancels what it was saying before.
    if (m_live) {
        m_live.reset();
        reportLater(false);
    }
    // The engine says nothing for blank text, and so would never report an end.
    if (m_engine->state() == QTextToSpeech::Error || utterance.text.trimmed().isEmpty()) {
        reportLater(m_engine->state() == QTextToSpeech::Error);
        return;
    }
    const auto known =
        utterance.voice ? m_voiceByKey.constFind(keyOf(*utterance.voice)) : m_voiceByKey.constEnd();
    if (known != m_voiceByKey.constEnd()) {
        m_engine->setLocale(QLocale(utterance.voice->language));
        m_engine->setVoice(*known);
    } else if (!utterance.language.isEmpty()) {
        m_engine->setLocale(QLocale(utterance.language));
    }
    m_live = false;
    m_engine->say(utterance.text);
}

void QtSpeechSynthesizer::stop()
{
    // Utterances still waiting for the engine end here, and so does the live one.
    for (qsizetype i = 0; i < m_waiting.size(); ++i) {
        reportLater(false);
    }
    m_waiting.clear();
    if (m_live) {
        m_live.reset();
        reportLater(false);
        m_engine->stop(QTextToSpeech::BoundaryHint::Immediate);
    }
}

void QtSpeechSynthesizer::engineStateChanged(int state)
{
    if (!m_live) {
        return;
    }
    switch (QTextToSpeech::State(state)) {
    case QTextToSpeech::Speaking:
        *m_live = true;
        break;
    case QTextToSpeech::Ready:
        if (*m_live) {
            m_live.reset();
            Q_EMIT utteranceEnded(false);
        }
        break;
    case QTextToSpeech::Error:
        m_live.reset();
        DebugLog::log(QStringLiteral("speech: utterance failed: %1").arg(m_engine->errorString()));
        Q_EMIT utteranceEnded(true);
        break;
    default:
        break;
    }
}

void QtSpeechSynthesizer::reportLater(bool failed)
{
    QMetaObject::invokeMethod(
        this, [this, failed] { Q_EMIT utteranceEnded(failed); }, Qt::QueuedConnection);
}
