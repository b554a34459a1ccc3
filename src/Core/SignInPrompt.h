#pragma once

#include "Base/Clock.h"
#include "Core/Services/SignInPrompting.h"

#include <QObject>

#include <QCoro/QCoroTask>

#include <chrono>
#include <functional>
#include <optional>

class CloudAccount;
class ModalAlert;

// Asks a signed-out user, in an alert over the application being dictated into, to sign in for
// cloud cleanup; the first button starts the sign-in in the browser. The dictation controller
// offers it while it processes a session.
//
// Never while a token is stored (also when forced), and never before the keychain has been read;
// without `force` at most once per 120 seconds,
// measured on the monotonic clock so that a wall clock set back cannot silence it; a forced prompt
// restarts the interval. One alert at a time, and only once the session that asked for it has
// inserted its text. Main thread.
class SignInPrompt final
    : public QObject
    , public SignInPrompting
{
    Q_OBJECT

public:
    // Within this time of the last prompt, an unforced one is skipped.
    static constexpr std::chrono::seconds interval {120};

    // The account, the alert and the clock must outlive the prompt.
    SignInPrompt(CloudAccount &account, ModalAlert &alert, Clock &clock, QObject *parent = nullptr);

    // Starts prompt() and returns at once.
    void promptForCloud(bool force) override;
    // Finishes when the user has answered, or at once when no alert is due.
    QCoro::Task<> prompt(bool force);

    bool isShowing() const { return m_showing; }

    // Finishes when no dictation session runs. The alert comes to the front and takes the focus:
    // shown while a session still inserts its text, it would take the text too.
    void setWaitUntilIdle(std::function<QCoro::Task<>()> waitUntilIdle);

private:
    CloudAccount &m_account;
    ModalAlert &m_alert;
    Clock &m_clock;
    std::optional<std::chrono::nanoseconds> m_lastShown;
    bool m_showing = false;
    std::function<QCoro::Task<>()> m_waitUntilIdle;
};
