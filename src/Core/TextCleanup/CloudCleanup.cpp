#include "Core/TextCleanup/CloudCleanup.h"

#include "Base/Clock.h"
#include "Base/Unicode.h"
#include "Core/CloudAccount.h"
#include "Core/CloudSession.h"
#include "Core/DebugLog.h"
#include "Core/DictationTrace.h"
#include "Core/NetTrace.h"
#include "Core/QuotaNotice.h"
#include "Core/TextCleanup/ContextComposer.h"
#include "Core/TextCleanup/FidelityGuard.h"
#include "Core/TextCleanup/RuleBasedCleanup.h"

namespace {

void mark(const CleanupContext &context, const QString &name, const QString &detail)
{
    if (context.trace) {
        context.trace->mark(name, detail);
    }
}

QString number(qsizetype value)
{
    return QString::number(value);
}

} // namespace

CloudCleanup::Services CloudCleanup::systemServices(Clock &clock)
{
    Services services;
    services.session = &CloudSession::shared();
    services.quota = &QuotaNotice::shared();
    services.token = [] {
        return CloudAccount::token();
    };
    services.whenTokenKnown = [] {
        return CloudAccount::shared().whenLoaded();
    };
    services.refreshAccount = [] {
        CloudAccount::shared().start();
    };
    services.clock = &clock;
    return services;
}

CloudCleanup::CloudCleanup(Services services, Settings settings)
    : m_services(std::move(services))
    , m_settings(std::move(settings))
{ }

QString CloudCleanup::name() const
{
    return QStringLiteral("cloud");
}

void CloudCleanup::addSessionFields(Json::Object &object, const Settings &settings,
                                    const CleanupContext &context)
{
    const bool dictation = settings.task == QLatin1String("cleanup");
    if (dictation && settings.style == QLatin1String("polish") && settings.intensity != 2) {
        object["intensity"] = settings.intensity;
    }
    if (settings.task == QLatin1String("translate") && !settings.targetLang.isEmpty()) {
        object["targetLang"] = Json::toStd(settings.targetLang);
    }
    // Nothing of a password field travels: neither its neighbourhood nor the window around it.
    const bool secure = context.focus && context.focus->isSecureField;
    if (!secure) {
        std::optional<QString> text = context.composedContext;
        if (!text || text->isEmpty()) {
            text = ContextComposer::caretWindow(context.focus);
        }
        if (text) {
            object["context"] = Json::toStd(*text);
        }
    }
    Json::Object dictionary = Json::Object::array();
    for (const QString &term : context.dictionaryTerms) {
        if (!Unicode::trimmedBlanks(term).isEmpty()) {
            dictionary.push_back(Json::toStd(term));
        }
    }
    if (!dictionary.empty()) {
        object["dictionary"] = std::move(dictionary);
    }
    if (dictation && context.personalize) {
        object["learn"] = true;
    }
}

Json::Object CloudCleanup::body(const QString &transcript, const CleanupContext &context) const
{
    Json::Object object = Json::Object::object();
    object["transcript"] = Json::toStd(transcript);
    object["style"] = Json::toStd(m_settings.style);
    if (m_settings.task != QLatin1String("cleanup")) {
        object["task"] = Json::toStd(m_settings.task);
    }
    addSessionFields(object, m_settings, context);
    return object;
}

QCoro::Task<QString> CloudCleanup::fallback(QString text, CleanupContext context,
                                            QString reason) const
{
    QString cleaned = co_await RuleBasedCleanup().cleanup(text, context);
    mark(context, QStringLiteral("cleanup.fallback"), QStringLiteral("reason=") + reason);
    co_return cleaned;
}

QCoro::Task<QString> CloudCleanup::cleanup(QString text, CleanupContext context) const
{
    const QString transcript = Unicode::trimmedWhitespaceAndNewlines(text);
    if (transcript.isEmpty() || context.isCancelled()) {
        co_return text;
    }
    if (m_services.whenTokenKnown) {
        co_await m_services.whenTokenKnown();
    }
    const std::optional<QString> token = m_services.token ? m_services.token() : std::nullopt;
    if (!token) {
        co_return co_await fallback(text, context, QStringLiteral("signedOut"));
    }
    Json::Object request = body(transcript, context);
    const qsizetype contextLength = request.contains("context")
        ? Unicode::graphemeCount(Json::fromStd(request["context"].get<std::string>()))
        : 0;
    const qsizetype dictionaryCount =
        request.contains("dictionary") ? static_cast<qsizetype>(request["dictionary"].size()) : 0;
    mark(context, QStringLiteral("cleanup.send"),
         QStringLiteral("task=%1 style=%2 in=%3ch ctx=%4ch dict=%5")
             .arg(m_settings.task, m_settings.style)
             .arg(Unicode::graphemeCount(transcript))
             .arg(contextLength)
             .arg(dictionaryCount));

    const Posted posted = co_await post(std::move(request), *token, context);
    switch (posted.result) {
    case PostResult::cancelled:
        // The session is over: no fallback, no quota notice over the next one, no mark.
        co_return text;
    case PostResult::quotaExceeded:
        if (m_services.quota) {
            m_services.quota->show();
        }
        co_return co_await fallback(text, context, QStringLiteral("quota"));
    case PostResult::failed:
        co_return co_await fallback(text, context, QStringLiteral("failed"));
    case PostResult::cleaned:
        break;
    }

    const QString outCount = number(Unicode::graphemeCount(posted.text));
    if (m_settings.task != QLatin1String("cleanup")) {
        mark(context, QStringLiteral("cleanup.guard"),
             QStringLiteral("skip(task=") + m_settings.task + QStringLiteral(") out=") + outCount
                 + QStringLiteral("ch"));
        co_return posted.text;
    }
    const EditContract contract =
        m_settings.style == QLatin1String("polish") ? EditContract::polish : EditContract::faithful;
    const CleanupVerdict verdict = FidelityGuard::verify(transcript, posted.text, contract);
    switch (verdict.kind) {
    case CleanupVerdict::Kind::accept:
        mark(context, QStringLiteral("cleanup.guard"),
             QStringLiteral("ok out=") + outCount + QStringLiteral("ch"));
        co_return posted.text;
    case CleanupVerdict::Kind::warn:
        mark(context, QStringLiteral("cleanup.guard"),
             QStringLiteral("warn out=") + outCount + QStringLiteral("ch ") + verdict.reason);
        DebugLog::log(QStringLiteral("cleanup: 採用(要観察) ") + verdict.reason);
        co_return posted.text;
    case CleanupVerdict::Kind::reject:
        break;
    }
    DebugLog::log(QStringLiteral("cleanup: 差し戻し ") + verdict.reason);
    co_return co_await fallback(text, context, verdict.reason);
}

QCoro::Task<CloudCleanup::Posted> CloudCleanup::post(Json::Object body, QString token,
                                                     CleanupContext context) const
{
    CloudRequest request = m_services.session->request(QStringLiteral("cleanup"));
    request.method = "POST";
    request.timeout = m_services.timeout;
    request.maxReplyBytes = maxReplyBytes;
    request.setBearer(token);
    try {
        request.setJsonBody(body);
    } catch (...) {
        // Text that cannot be written as JSON (a lone surrogate) is not sent at all.
        co_return Posted {};
    }
    NetTrace netTrace(m_services.clock ? *m_services.clock : Clock::system());
    request.trace = &netTrace;
    request.cancellation = context.cancellation;
    const CloudReply reply = co_await m_services.session->perform(std::move(request));
    if (context.isCancelled()) {
        co_return Posted {PostResult::cancelled, QString()};
    }
    const QString net = netTrace.collected().value_or(QStringLiteral("net=?"));

    if (reply.failed() || !reply.status) {
        mark(context, QStringLiteral("cleanup.recv"), QStringLiteral("transport-error ") + net);
        co_return Posted {};
    }
    const int status = *reply.status;
    mark(context, QStringLiteral("cleanup.recv"),
         QStringLiteral("http=%1 %2 %3").arg(status).arg(net, reply.serverTimingSummary()));
    if (status == 401) {
        if (m_services.refreshAccount) {
            m_services.refreshAccount();
        }
        co_return Posted {};
    }
    Json::Object object;
    try {
        object = Json::parse(reply.body);
    } catch (const Json::DecodeError &) {
        object = nullptr;
    }
    const bool isObject = object.is_object();
    if (status == 429 && isObject && object.contains("error") && object["error"].is_string()
        && object["error"].get<std::string>() == "quota_exceeded") {
        co_return Posted {PostResult::quotaExceeded, QString()};
    }
    if (status < 200 || status > 299 || !isObject || !object.contains("text")
        || !object["text"].is_string()) {
        co_return Posted {};
    }
    const QString text =
        Unicode::trimmedWhitespaceAndNewlines(Json::fromStd(object["text"].get<std::string>()));
    if (text.isEmpty()) {
        co_return Posted {};
    }
    co_return Posted {PostResult::cleaned, text};
}

QCoro::Task<bool> CloudCleanup::resetMemory()
{
    const std::optional<QString> token = m_services.token ? m_services.token() : std::nullopt;
    if (!token) {
        co_return false;
    }
    CloudRequest request = m_services.session->request(QStringLiteral("cleanup/memory"));
    request.method = "DELETE";
    request.timeout = m_services.timeout;
    request.setBearer(*token);
    const CloudReply reply = co_await m_services.session->perform(std::move(request));
    co_return !reply.failed() && reply.status && *reply.status >= 200 && *reply.status <= 299;
}
