#pragma once

#include "Platform/SpeechSynthesizer.h"

#include <QStringList>

// Records what it was asked to say ("say <text> | <voice name or -> | <language>") and stops;
// the test reports the ends of utterances itself with end(), as late as it likes.
class FakeSpeechSynthesizer final : public SpeechSynthesizer
{
public:
    QList<Voice> installed;
    QStringList calls;
    int stops = 0;

    QList<Voice> voices() override { return installed; }
    void say(const QString &text, const std::optional<Voice> &voice,
             const QString &language) override
    {
        calls << QStringLiteral("say %1 | %2 | %3")
                     .arg(text, voice ? voice->name : QStringLiteral("-"), language);
    }
    void stop() override { ++stops; }

    void end(bool failed = false) { Q_EMIT utteranceEnded(failed); }
};
