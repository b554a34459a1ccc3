#pragma once

#include <QObject>
#include <QString>

// The voice that reads an answer aloud, as the answer card uses it. Implemented by the answer
// speaker; main thread only. `isSpeaking` is true from `speak` until the utterance finished, was
// cancelled or failed, or until `stop`.
class AnswerSpeaking : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isSpeaking READ isSpeaking NOTIFY isSpeakingChanged)

public:
    using QObject::QObject;

    virtual bool isSpeaking() const = 0;
    // Starts reading `text` in a voice that fits its language. Does not stop a reading already
    // running: the card only calls it while nothing is being read.
    virtual void speak(const QString &text) = 0;
    // Stops at once when speaking; does nothing while silent.
    virtual void stop() = 0;

signals:
    void isSpeakingChanged();
};
