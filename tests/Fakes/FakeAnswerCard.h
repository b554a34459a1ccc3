#pragma once

#include "Core/Services/AnswerPresenting.h"

#include <QStringList>

// Records the cards shown: "show <question> | <answer>", "error" or "signIn".
class FakeAnswerCard final : public AnswerPresenting
{
public:
    void show(const QString &question, const QString &answer) override
    {
        calls << QStringLiteral("show ") + question + QStringLiteral(" | ") + answer;
    }
    void showError() override { calls << QStringLiteral("error"); }
    void showSignInRequired() override { calls << QStringLiteral("signIn"); }

    QStringList calls;
};
