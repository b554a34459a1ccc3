#pragma once

#include "Core/Services/AnswerSpeaking.h"

#include <QStringList>

// Records "speak <text>" and "stop" (a stop while silent included, as "stop (silent)"); the test
// ends a reading with finish().
class FakeAnswerSpeaker final : public AnswerSpeaking
{
public:
    QStringList calls;

    bool isSpeaking() const override { return m_speaking; }
    void speak(const QString &text) override
    {
        calls << QStringLiteral("speak ") + text;
        set(true);
    }
    void stop() override
    {
        calls << (m_speaking ? QStringLiteral("stop") : QStringLiteral("stop (silent)"));
        set(false);
    }
    void finish() { set(false); }

private:
    void set(bool speaking)
    {
        if (m_speaking != speaking) {
            m_speaking = speaking;
            Q_EMIT isSpeakingChanged();
        }
    }

    bool m_speaking = false;
};
