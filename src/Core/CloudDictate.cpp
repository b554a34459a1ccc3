#include "Core/CloudDictate.h"

#include "Base/Clock.h"
#include "Base/Unicode.h"
#include "Core/CloudSession.h"
#include "Core/DebugLog.h"
#include "Core/DictationTrace.h"
#include "Core/NetTrace.h"
#include "Core/QuotaNotice.h"
#include "Core/TextCleanup/CloudCleanup.h"
#include "Core/TextCleanup/FidelityGuard.h"
#include "Core/TextCleanup/RuleBasedCleanup.h"
#include "Core/Transcription/NonSpeech.h"

#include <QStringDecoder>

namespace {

QString taskName(DictationTask task)
{
    switch (task) {
    case DictationTask::ask:
        return QStringLiteral("ask");
    case DictationTask::translate:
        return QStringLiteral("translate");
    case DictationTask::cleanup:
        break;
    }
    return QStringLiteral("cleanup");
}

QString styleFor(DictationTask task, CleanupMode mode)
{
    const bool polish = task == DictationTask::ask
        || (task == DictationTask::cleanup && mode == CleanupMode::cloudRewrite);
    return polish ? QStringLiteral("polish") : QStringLiteral("faithful");
}

void mark(const SessionContext &session, const QString &name, const QString &detail)
{
    if (session.trace) {
        session.trace->mark(name, detail);
    }
}

const QByteArray crlf = QByteArrayLiteral("\r\n");

} // namespace

CloudDictate::CloudDictate(Services services)
    : m_services(std::move(services))
{ }

QByteArray CloudDictate::boundary(const QUuid &uuid)
{
    return QByteArrayLiteral("sonorvelle-") + Json::uuidString(uuid).toLatin1();
}

Json::Object CloudDictate::meta(DictationTask task, CleanupMode mode, const QString &targetLang,
                                int intensity, const CleanupContext &context)
{
    const QString style = styleFor(task, mode);
    Json::Object meta = Json::Object::object();
    meta["task"] = Json::toStd(taskName(task));
    meta["style"] = Json::toStd(style);
    meta["lang"] = Json::toStd(context.localeIdentifier);
    CloudCleanup::addSessionFields(meta, {style, taskName(task), targetLang, intensity}, context);
    return meta;
}

QByteArray CloudDictate::multipartBody(const QByteArray &boundary, const QByteArray &meta,
                                       const QByteArray &wav)
{
    static const QByteArray metaHeaders =
        QByteArrayLiteral("Content-Disposition: form-data; name=\"meta\"\r\n"
                          "Content-Type: application/json\r\n\r\n");
    static const QByteArray audioHeaders = QByteArrayLiteral(
        "Content-Disposition: form-data; name=\"audio\"; filename=\"audio.wav\"\r\n"
        "Content-Type: audio/wav\r\n\r\n");
    QByteArray body;
    body.reserve(3 * (boundary.size() + 4) + metaHeaders.size() + audioHeaders.size() + meta.size()
                 + wav.size() + 4 * crlf.size());
    body.append("--").append(boundary).append(crlf).append(metaHeaders).append(meta).append(crlf);
    body.append("--").append(boundary).append(crlf).append(audioHeaders).append(wav).append(crlf);
    body.append("--").append(boundary).append("--").append(crlf);
    return body;
}

QString CloudDictate::bodyExcerpt(const QByteArray &body)
{
    qsizetype length = std::min(body.size(), loggedBodyBytes);
    // A cut inside a multi-byte character backs off to its first byte.
    while (length > 0 && length < body.size() && (uchar(body.at(length)) & 0xC0) == 0x80) {
        --length;
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(body.left(length));
    return decoder.hasError() ? QStringLiteral("?") : text;
}

QCoro::Task<std::optional<CloudDictation::Outcome>>
CloudDictate::run(QByteArray wav, DictationTask task, CleanupMode mode, QString targetLang,
                  int intensity, CleanupContext context, SessionContext session)
{
    const std::optional<QString> token = m_services.token ? m_services.token() : std::nullopt;
    if (!token || session.cancellation.isCancelled()) {
        co_return std::nullopt;
    }
    const Json::Object metaObject = meta(task, mode, targetLang, intensity, context);
    QByteArray metaBytes;
    try {
        metaBytes = Json::serialize(metaObject);
    } catch (...) {
        co_return std::nullopt;
    }
    const QByteArray separator = boundary(m_services.newUuid());

    CloudRequest request = m_services.session->request(QStringLiteral("dictate"));
    request.method = "POST";
    request.setBearer(*token);
    request.setHeader("Content-Type", "multipart/form-data; boundary=" + separator);
    request.timeout = m_services.timeout;
    request.maxReplyBytes = maxReplyBytes;
    request.body = multipartBody(separator, metaBytes, wav);
    const qsizetype wavKilobytes = wav.size() / 1024;
    wav.clear(); // the body holds the only copy from here on

    const auto contextLength = metaObject.contains("context")
        ? Unicode::graphemeCount(Json::fromStd(metaObject["context"].get<std::string>()))
        : 0;
    const auto dictionaryCount =
        metaObject.contains("dictionary") ? metaObject["dictionary"].size() : 0;
    mark(session, QStringLiteral("dictate.send"),
         QStringLiteral("%1KB meta: task=%2 style=%3 ctx=%4ch dict=%5")
             .arg(wavKilobytes)
             .arg(taskName(task), styleFor(task, mode))
             .arg(contextLength)
             .arg(dictionaryCount));

    NetTrace netTrace(m_services.clock ? *m_services.clock : Clock::system());
    request.trace = &netTrace;
    request.cancellation = session.cancellation;
    const CloudReply reply = co_await m_services.session->perform(std::move(request));
    // A cancelled session is over: nothing of its answer is marked, logged or used.
    if (session.cancellation.isCancelled()) {
        co_return std::nullopt;
    }
    const QString net = netTrace.collected().value_or(QStringLiteral("net=?"));

    if (reply.failed()) {
        mark(session, QStringLiteral("dictate.error"), net + QLatin1Char(' ') + reply.errorText);
        DebugLog::log(QStringLiteral("dictate: transport error: ") + reply.errorText);
        co_return std::nullopt;
    }
    const int status = reply.status.value_or(-1);
    mark(session, QStringLiteral("dictate.recv"),
         QStringLiteral("http=%1 %2 %3").arg(status).arg(net, reply.serverTimingSummary()));

    Json::Object body;
    bool usable = status == 200;
    if (usable) {
        try {
            body = Json::parse(reply.body);
        } catch (const Json::DecodeError &) {
            usable = false;
        }
    }
    QString raw;
    if (usable && body.is_object() && body.contains("raw") && body["raw"].is_string()) {
        raw = Unicode::trimmedWhitespaceAndNewlines(Json::fromStd(body["raw"].get<std::string>()));
    }
    if (raw.isEmpty()) {
        DebugLog::log(
            QStringLiteral("dictate: http=%1 body=%2").arg(status).arg(bodyExcerpt(reply.body)));
        co_return std::nullopt;
    }

    Outcome outcome;
    if (body.contains("degraded") && body["degraded"].is_string()) {
        const QString degraded = Json::fromStd(body["degraded"].get<std::string>());
        DebugLog::log(QStringLiteral("dictate: degraded=") + degraded);
        outcome.quotaExceeded = degraded == QLatin1String("cleanup_quota");
    }
    if (NonSpeech::isNonSpeechOnly(raw)) {
        DebugLog::log(QStringLiteral("dictate: raw=「") + raw
                      + QStringLiteral("」 → non-speech only, treated as empty"));
        co_return outcome;
    }
    outcome.raw = raw;
    if (body.contains("text") && body["text"].is_string()) {
        const QString text =
            Unicode::trimmedWhitespaceAndNewlines(Json::fromStd(body["text"].get<std::string>()));
        if (!text.isEmpty()) {
            outcome.cleaned = text;
        }
    }
    co_return outcome;
}

QCoro::Task<QString> CloudDictate::finalText(Outcome outcome, DictationTask task, CleanupMode mode,
                                             CleanupContext context, SessionContext session)
{
    // The quota notice of a cancelled session would stand over the next one.
    if (session.cancellation.isCancelled()) {
        co_return QString();
    }
    if (outcome.quotaExceeded && m_services.quota) {
        m_services.quota->show();
    }
    if (!outcome.cleaned) {
        QString text = co_await RuleBasedCleanup().cleanup(outcome.raw, context);
        mark(session, QStringLiteral("cleanup.fallback"),
             QStringLiteral("reason=%1 (dictate)")
                 .arg(outcome.quotaExceeded ? QStringLiteral("quota") : QStringLiteral("failed")));
        co_return text;
    }
    const QString cleaned = *outcome.cleaned;
    const qsizetype characters = Unicode::graphemeCount(cleaned);
    if (task != DictationTask::cleanup) {
        mark(
            session, QStringLiteral("cleanup.guard"),
            QStringLiteral("skip(task=%1) out=%2ch (dictate)").arg(taskName(task)).arg(characters));
        co_return cleaned;
    }
    const EditContract contract = mode == CleanupMode::cloudRewrite || mode == CleanupMode::rewrite
        ? EditContract::polish
        : EditContract::faithful;
    const CleanupVerdict verdict = FidelityGuard::verify(outcome.raw, cleaned, contract);
    switch (verdict.kind) {
    case CleanupVerdict::Kind::accept:
        mark(session, QStringLiteral("cleanup.guard"),
             QStringLiteral("ok out=%1ch (dictate)").arg(characters));
        co_return cleaned;
    case CleanupVerdict::Kind::warn:
        mark(session, QStringLiteral("cleanup.guard"),
             QStringLiteral("warn out=%1ch %2 (dictate)").arg(characters).arg(verdict.reason));
        DebugLog::log(QStringLiteral("cleanup: 採用(要観察) ") + verdict.reason);
        co_return cleaned;
    case CleanupVerdict::Kind::reject:
        break;
    }
    QString text = co_await RuleBasedCleanup().cleanup(outcome.raw, context);
    mark(session, QStringLiteral("cleanup.fallback"),
         QStringLiteral("reason=%1 (dictate)").arg(verdict.reason));
    DebugLog::log(QStringLiteral("cleanup: 差し戻し ") + verdict.reason);
    co_return text;
}
