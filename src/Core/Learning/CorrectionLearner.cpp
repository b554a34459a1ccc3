#include "Core/Learning/CorrectionLearner.h"

#include "Base/Async.h"
#include "Base/Clock.h"
#include "Base/Json.h"
#include "Base/Unicode.h"
#include "Base/UserDefaults.h"
#include "Core/AppSettings.h"
#include "Core/CloudAccount.h"
#include "Core/CloudSession.h"
#include "Core/DebugLog.h"
#include "Core/Learning/CorrectionMatcher.h"
#include "Core/Services/UsageReporting.h"

#include <QVariantMap>

#include <cstdlib>
#include <utility>

namespace {

const QString endpointPath = QStringLiteral("cleanup/correction");
const QString editedEvent = QStringLiteral("cleanup.edited");

} // namespace

CorrectionLearner::CorrectionLearner(Services services, QObject *parent)
    : QObject(parent)
    , m_services(services)
{ }

CorrectionLearner::~CorrectionLearner() = default;

QString CorrectionLearner::dayKey(const QDate &date)
{
    if (!date.isValid()) {
        return QStringLiteral("0-0-0");
    }
    return QStringLiteral("%1-%2-%3").arg(date.year()).arg(date.month()).arg(date.day());
}

QString CorrectionLearner::deltaBucket(qsizetype originalLength, qsizetype correctedLength)
{
    const qsizetype delta = std::abs(originalLength - correctedLength);
    if (delta == 0) {
        return QStringLiteral("0");
    }
    if (delta <= 3) {
        return QStringLiteral("1-3");
    }
    if (delta <= 10) {
        return QStringLiteral("4-10");
    }
    return QStringLiteral("11+");
}

void CorrectionLearner::remember(const QString &text, const std::optional<QString> &bundleID)
{
    if (!m_services.settings->cloudLearning()) {
        return;
    }
    const qsizetype length = Unicode::graphemeCount(text);
    if (length < minimumLength || length > maximumLength) {
        m_pending.reset();
        return;
    }
    m_pending = Pending {text, bundleID, m_services.clock->now()};
}

void CorrectionLearner::checkAndSend(const FocusContext &context)
{
    // Every recording start uses up the remembered text, whatever follows.
    const std::optional<Pending> pending = std::exchange(m_pending, std::nullopt);
    if (!pending || !m_services.settings->cloudLearning()) {
        return;
    }
    const std::optional<QString> token = m_services.account->storedToken();
    if (!token) {
        return;
    }
    if (!context.bundleID || !pending->bundleID || *context.bundleID != *pending->bundleID) {
        return;
    }
    if (pending->at.msecsTo(m_services.clock->now())
        > std::chrono::duration_cast<std::chrono::milliseconds>(ttl).count()) {
        return;
    }
    // What the user types into a password field never leaves the machine, whatever the snapshot
    // holds.
    if (context.isSecureField || !context.fieldText || context.fieldText->isEmpty()) {
        return;
    }
    rollDay();
    if (m_sentCount >= dailyLimit) {
        return;
    }

    ++m_inFlight;
    QCoro::connect(
        learn(QPointer(this), pending->text, context.fieldText, context.fieldTextTail, *token),
        this, [this] { --m_inFlight; });
}

QCoro::Task<> CorrectionLearner::learn(QPointer<CorrectionLearner> self, QString inserted,
                                       std::optional<QString> fieldText,
                                       std::optional<QString> fieldTextTail, QString token)
{
    // Up to 600 characters aligned against 4,000 of the field, twice: not for the main thread.
    auto compare = [inserted, fieldText, fieldTextTail] {
        return CorrectionMatcher::match(inserted, fieldText, fieldTextTail);
    };
    const CorrectionMatcher::Match match = co_await Async::runInBackground(std::move(compare));
    if (!self || match.kind != CorrectionMatcher::Match::Kind::edited) {
        co_return;
    }

    // Every edit found is counted as an event, also once the day's uploads are used up.
    if (UsageReporting *reporter = self->m_services.reporter) {
        const qsizetype originalLength = Unicode::graphemeCount(match.original);
        const qsizetype correctedLength = Unicode::graphemeCount(match.corrected);
        reporter->record(
            editedEvent,
            QVariantMap {
                {QStringLiteral("originalLen"), int(originalLength)},
                {QStringLiteral("correctedLen"), int(correctedLength)},
                {QStringLiteral("deltaBucket"), deltaBucket(originalLength, correctedLength)},
            });
    }

    if (!self->consumeQuota()) {
        co_return;
    }
    co_await self->post(match.original, match.corrected, token);
}

void CorrectionLearner::rollDay()
{
    const QString today = dayKey(m_services.clock->now().toLocalTime().date());
    if (m_sentDay != today) {
        m_sentDay = today;
        m_sentCount = 0;
    }
}

bool CorrectionLearner::consumeQuota()
{
    rollDay();
    if (m_sentCount >= dailyLimit) {
        return false;
    }
    ++m_sentCount;
    return true;
}

QCoro::Task<> CorrectionLearner::post(QString original, QString corrected, QString token)
{
    // Everything the upload needs is taken now: the learner may be gone when the answer comes.
    CloudSession &session = *m_services.session;
    const bool testerMode =
        m_services.defaults->boolValue(QStringLiteral("testerModeEnabled")).value_or(false);

    CloudRequest request = session.request(endpointPath);
    request.method = "POST";
    request.timeout = uploadTimeout;
    request.setBearer(token);
    try {
        request.setJsonBody(Json::Object {
            {"original", Json::toStd(original)},
            {"corrected", Json::toStd(corrected)},
        });
    } catch (...) {
        co_return;
    }

    if (testerMode) {
        DebugLog::log(QStringLiteral("correction: pair 「") + original + QStringLiteral("」→「")
                      + corrected + QStringLiteral("」"));
    }

    const CloudReply reply = co_await session.perform(std::move(request));
    if (reply.failed() || !reply.status) {
        DebugLog::log(QStringLiteral("correction: send failed (network)"));
        co_return;
    }
    DebugLog::log(QStringLiteral("correction: sent status=%1 origLen=%2 fixedLen=%3")
                      .arg(*reply.status)
                      .arg(Unicode::graphemeCount(original))
                      .arg(Unicode::graphemeCount(corrected)));
}
