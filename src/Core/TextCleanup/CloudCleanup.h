#pragma once

#include "Base/Json.h"
#include "Core/Services/CleanupMemoryResetting.h"
#include "Core/TextCleanup/TextCleanupService.h"

#include <chrono>
#include <functional>
#include <optional>

class Clock;
class CloudSession;
class QuotaNotice;

// The cleanup stage of the cloud modes, and of the ask and translate tasks: the transcript goes to
// the service's "cleanup" endpoint with the dictionary and a little context, and the service's
// text comes back checked by the fidelity guard. Whatever goes wrong (signed out, no network, an
// error, the quota, a text the guard refuses), the stage returns the rule-based cleanup instead,
// so dictation never fails because of the cloud.
//
// Built per session, immutable. cleanup() runs on the main thread (the request layer lives
// there); its waits are network waits.
class CloudCleanup
    : public TextCleanupService
    , public CleanupMemoryResetting
{
public:
    // An answer that waits longer than this without a byte moving is given up.
    static constexpr std::chrono::seconds defaultTimeout {8};
    // No cleaned, answered or translated dictation comes near this; a longer reply is broken.
    static constexpr qint64 maxReplyBytes = 1024 * 1024;

    struct Services
    {
        CloudSession *session = nullptr;
        QuotaNotice *quota = nullptr;
        // The stored bearer token; absent when signed out.
        std::function<std::optional<QString>()> token;
        // Finishes once the stored token can be read: before, an absent one is no sign-out.
        std::function<QCoro::Task<>()> whenTokenKnown;
        // Started, never awaited, when the service no longer takes the token.
        std::function<void()> refreshAccount;
        Clock *clock = nullptr;
        // How long the answer may pause before it counts as lost.
        std::chrono::milliseconds timeout = defaultTimeout;
    };

    struct Settings
    {
        // "faithful" or "polish"; "polish" also asks the guard for the polishing contract.
        QString style = QStringLiteral("faithful");
        // "cleanup" for dictation; "ask" or "translate" for those tasks.
        QString task = QStringLiteral("cleanup");
        // The translate task's target language; empty otherwise.
        QString targetLang;
        // 1, 2 or 3; sent only for polishing dictation, and never when it is the default 2.
        int intensity = 2;
    };

    // The application's own: the shared request layer, quota notice and account.
    static Services systemServices(Clock &clock);

    CloudCleanup(Services services, Settings settings);

    QString name() const override;
    QCoro::Task<QString> cleanup(QString text, CleanupContext context) const override;
    // Asks the service to forget what it learned of the user.
    QCoro::Task<bool> resetMemory() override;

    const Settings &settings() const { return m_settings; }

    // The request body for a transcript (already trimmed).
    Json::Object body(const QString &transcript, const CleanupContext &context) const;
    // The fields cloud cleanup and cloud dictation describe a session with alike: intensity,
    // target language, context, dictionary and the learning flag, each only when it applies.
    static void addSessionFields(Json::Object &object, const Settings &settings,
                                 const CleanupContext &context);

private:
    enum class PostResult { cleaned, quotaExceeded, failed, cancelled };
    struct Posted
    {
        PostResult result = PostResult::failed;
        QString text;
    };

    QCoro::Task<Posted> post(Json::Object body, QString token, CleanupContext context) const;
    QCoro::Task<QString> fallback(QString text, CleanupContext context, QString reason) const;

    Services m_services;
    Settings m_settings;
};
