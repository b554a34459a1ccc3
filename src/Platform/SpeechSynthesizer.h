#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <optional>

// The system's speech output, as the answer speaker uses it. Main thread only.
//
// Every utterance handed to say() ends in exactly one utteranceEnded(), in the order they were
// said: when it was spoken to the end, when stop() cancelled it, or when it failed. The report
// may come late, after a later utterance has been handed over.
class SpeechSynthesizer : public QObject
{
    Q_OBJECT

public:
    struct Voice
    {
        QString name;
        // BCP 47 ("en-US", "de").
        QString language;

        bool operator==(const Voice &) const = default;
    };

    using QObject::QObject;

    // The installed voices in the system's order; empty until the engine has been reached.
    virtual QList<Voice> voices() = 0;
    // Speaks `text` in `voice` when one is given, else in the system's voice for `language`
    // (a language identifier such as "de" or "de_DE"; empty: the system's default voice).
    virtual void say(const QString &text, const std::optional<Voice> &voice,
                     const QString &language) = 0;
    // Cancels every utterance at once.
    virtual void stop() = 0;

Q_SIGNALS:
    void utteranceEnded(bool failed);
};
