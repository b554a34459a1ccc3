#pragma once

#include "Platform/SpeechSynthesizer.h"

#include <QHash>
#include <QPointer>
#include <QVoice>

#include <chrono>
#include <optional>

class QTextToSpeech;
class QThread;

// Speech output through Qt TextToSpeech on speech-dispatcher. Reaching speech-dispatcher takes
// about 1.5 s (it lists some 13,000 voices), so the engine is made on a thread of its own by
// warmUp() and only then moved to the main thread; an utterance said before that waits for it,
// and the main thread never blocks on the engine.
//
// Qt reports no utterance ids, only the engine's state, and a new utterance cancels the one
// before it. So only the newest utterance is live in the engine; an older one is reported ended
// when it is replaced or stopped. The live one ends when the engine returns to ready after it
// began speaking: a return to ready before that is the late cancel of an older one.
class QtSpeechSynthesizer final : public SpeechSynthesizer
{
    Q_OBJECT

public:
    // How long the destructor waits for a warm-up still under way. A speech-dispatcher that does
    // not answer would keep the application from quitting: past this the thread is let go, to
    // end by itself or with the process.
    static constexpr std::chrono::milliseconds defaultQuitWait {1000};

    explicit QtSpeechSynthesizer(QString engine = QStringLiteral("speechd"),
                                 QObject *parent = nullptr,
                                 std::chrono::milliseconds quitWait = defaultQuitWait);
    ~QtSpeechSynthesizer() override;

    // Starts making the engine in the background; later calls do nothing.
    void warmUp();
    // Whether the engine has been made (whether or not it reached speech-dispatcher).
    bool isReady() const { return m_engine != nullptr; }

    QList<Voice> voices() override;
    void say(const QString &text, const std::optional<Voice> &voice,
             const QString &language) override;
    void stop() override;

Q_SIGNALS:
    void ready();

private:
    struct Utterance
    {
        QString text;
        std::optional<Voice> voice;
        QString language;
    };

    void adopt(QTextToSpeech *engine, QList<Voice> voices, QHash<QString, QVoice> byKey);
    void speakNow(const Utterance &utterance);
    void engineStateChanged(int state);
    // Reports the end of one utterance on a later turn of the event loop, so that a caller never
    // sees the report inside its own call.
    void reportLater(bool failed);
    static QString keyOf(const Voice &voice);

    QString m_engineName;
    std::chrono::milliseconds m_quitWait;
    QThread *m_thread = nullptr;
    QTextToSpeech *m_engine = nullptr;
    QList<Voice> m_voices;
    QHash<QString, QVoice> m_voiceByKey;
    // Said before the engine existed.
    QList<Utterance> m_waiting;
    // The utterance handed to the engine and not yet reported: whether the engine has begun
    // speaking it.
    std::optional<bool> m_live;
};
