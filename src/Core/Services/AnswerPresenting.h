#pragma once

#include <QString>

// The answer card as the ask task uses it. Implemented by the answer card controller; main
// thread; returns at once.
class AnswerPresenting
{
public:
    virtual ~AnswerPresenting() = default;

    // Shows the floating card with the spoken question and its answer.
    virtual void show(const QString &question, const QString &answer) = 0;
    // Shows the card's error view with the retry hint.
    virtual void showError() = 0;
    // Shows the card's error view saying that answers need an account, with a way to sign in.
    virtual void showSignInRequired() = 0;
};
