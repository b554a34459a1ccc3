#pragma once

#include <QString>
#include <QStringList>

#include <QCoro/QCoroTask>

// An alert that asks the user a question in front of every other application and waits for the
// answer without blocking the event loop (no nested modal loop inside a coroutine). Main thread.
class ModalAlert
{
public:
    struct Content
    {
        QString messageText;
        QString informativeText;
        // The first is the default button.
        QStringList buttons;
    };

    virtual ~ModalAlert() = default;

    // Shows the alert in front of every other window, leaving the keyboard with the window the
    // user is working in until they click the alert, and finishes with the index of the button
    // chosen, or -1 when the alert was closed otherwise.
    virtual QCoro::Task<int> run(Content content) = 0;
};
