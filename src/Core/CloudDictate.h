#pragma once

#include "Base/Json.h"
#include "Core/Services/CloudDictation.h"

#include <QUuid>

#include <chrono>
#include <functional>

class Clock;
class CloudSession;
class QuotaNotice;

// Cloud transcription of a session's recording: the WAV goes to the service's "dictate" endpoint
// with a description of the task, and comes back as the raw transcript and, usually, a text the
// service has already cleaned, answered or translated. finalText() decides what the session
// inserts: the service's text when the fidelity guard lets it pass, else the rule-based cleanup of
// the raw transcript, so the user's words survive every failure.
//
// Main thread (the request layer lives there). Keeps no state between calls.
class CloudDictate : public CloudDictation
{
public:
    // The upload of up to nine minutes of audio may pause this long before it counts as lost.
    static constexpr std::chrono::seconds defaultTimeout {25};
    // Nine minutes of speech come back as some tens of kilobytes; a reply past this is broken and
    // is cut off rather than read into memory.
    static constexpr qint64 maxReplyBytes = 1024 * 1024;
    // How much of a refused reply's body the log line quotes.
    static constexpr qsizetype loggedBodyBytes = 120;

    struct Services
    {
        CloudSession *session = nullptr;
        QuotaNotice *quota = nullptr;
        // The stored bearer token; absent when signed out.
        std::function<std::optional<QString>()> token;
        // A fresh identifier for every body boundary.
        std::function<QUuid()> newUuid = [] {
            return QUuid::createUuid();
        };
        Clock *clock = nullptr;
        // How long the upload or the answer may pause before it counts as lost.
        std::chrono::milliseconds timeout = defaultTimeout;
    };

    explicit CloudDictate(Services services);

    QCoro::Task<std::optional<Outcome>> run(QByteArray wav, DictationTask task, CleanupMode mode,
                                            QString targetLang, int intensity,
                                            CleanupContext context,
                                            SessionContext session) override;
    QCoro::Task<QString> finalText(Outcome outcome, DictationTask task, CleanupMode mode,
                                   CleanupContext context, SessionContext session) override;

    // The description of the session sent beside the audio.
    static Json::Object meta(DictationTask task, CleanupMode mode, const QString &targetLang,
                             int intensity, const CleanupContext &context);
    // The multipart/form-data body: the meta part, then the audio part; lines end in CR LF. Built
    // in one buffer sized in advance, so the WAV is copied once.
    static QByteArray multipartBody(const QByteArray &boundary, const QByteArray &meta,
                                    const QByteArray &wav);
    // "sonorvelle-" and the upper-case form of `uuid`.
    static QByteArray boundary(const QUuid &uuid);
    // The first `loggedBodyBytes` of a body as text, cut back to a whole character.
    static QString bodyExcerpt(const QByteArray &body);

private:
    Services m_services;
};
