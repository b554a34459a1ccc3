#include "Core/SignInPrompt.h"

#include "Core/CloudAccount.h"
#include "Platform/ModalAlert.h"
#include "Support/L10n.h"

#include <QPointer>

SignInPrompt::SignInPrompt(CloudAccount &account, ModalAlert &alert, Clock &clock, QObject *parent)
    : QObject(parent)
    , m_account(account)
    , m_alert(alert)
    , m_clock(clock)
{ }

void SignInPrompt::setWaitUntilIdle(std::function<QCoro::Task<>()> waitUntilIdle)
{
    m_waitUntilIdle = std::move(waitUntilIdle);
}

void SignInPrompt::promptForCloud(bool force)
{
    QCoro::connect(prompt(force), this, [] {});
}

QCoro::Task<> SignInPrompt::prompt(bool force)
{
    if (m_showing) {
        co_return;
    }
    QPointer<SignInPrompt> self(this);
    // A signed-in user whose keychain has not answered yet is no signed-out user.
    m_showing = true;
    co_await m_account.whenLoaded();
    if (!self) {
        co_return;
    }
    m_showing = false;
    if (m_account.storedToken()) {
        co_return;
    }
    const std::chrono::nanoseconds now = m_clock.uptime();
    if (!force && m_lastShown && now - *m_lastShown < interval) {
        co_return;
    }
    m_lastShown = now;

    const L10n &l10n = L10n::shared();
    ModalAlert::Content content;
    content.messageText = l10n.string(QStringLiteral("cloud.signInRequired"));
    content.informativeText = l10n.string(QStringLiteral("cloud.signInRequiredBody"));
    content.buttons = {l10n.string(QStringLiteral("clean.signIn")),
                       l10n.string(QStringLiteral("common.later"))};

    m_showing = true;
    if (m_waitUntilIdle) {
        co_await m_waitUntilIdle();
        if (!self) {
            co_return;
        }
        if (m_account.storedToken()) {
            m_showing = false;
            co_return;
        }
    }
    const int chosen = co_await m_alert.run(std::move(content));
    if (!self) {
        co_return;
    }
    m_showing = false;
    if (chosen == 0) {
        m_account.signIn();
    }
}
