#include "UI/Settings/AccountTabModel.h"

#include "Core/CloudAccount.h"
#include "Core/CloudSession.h"
#include "Core/CloudSync.h"
#include "Support/L10n.h"

#include <QPointer>

namespace {

// The usage answer's body, when the reply is a success: an HTTP answer with status 200 exactly
// whose body is the usage record. Anything else (no answer, another status, a 401 too) is a
// failure to show, nothing more.
std::optional<CleanupUsage> usageFrom(const CloudReply &reply)
{
    if (reply.failed() || reply.status != 200) {
        return std::nullopt;
    }
    return CleanupUsage::decode(reply.body);
}

} // namespace

AccountTabModel::AccountTabModel(L10n &l10n, CloudAccount *account, CloudSync *sync,
                                 CloudSession *session, QObject *parent)
    : QObject(parent)
    , m_l10n(l10n)
    , m_account(account)
    , m_sync(sync)
    , m_session(session)
{
    if (m_account) {
        connect(m_account, &CloudAccount::stateChanged, this, &AccountTabModel::followAccount);
    }
    if (m_sync) {
        connect(m_sync, &CloudSync::enabledChanged, this, &AccountTabModel::syncEnabledChanged);
    }
    connect(&m_l10n, &L10n::languageChanged, this, [this] {
        Q_EMIT accountChanged();
        Q_EMIT usageChanged();
    });
    m_hasToken = m_account && m_account->storedToken().has_value();
    // The tab is being shown: its usage is asked for afresh.
    startFetch();
}

void AccountTabModel::followAccount()
{
    Q_EMIT accountChanged();
    const bool hasToken = m_account && m_account->storedToken().has_value();
    if (hasToken == m_hasToken) {
        return;
    }
    m_hasToken = hasToken;
    Q_EMIT hasTokenChanged();
    startFetch();
}

bool AccountTabModel::signedIn() const
{
    return m_account && m_account->isSignedIn();
}

QString AccountTabModel::accountTitle() const
{
    if (!signedIn()) {
        return m_l10n.string(QStringLiteral("acct.signedOutTitle"));
    }
    const QString email = m_account->email();
    return email.isEmpty() ? m_l10n.string(QStringLiteral("acct.signedIn")) : email;
}

bool AccountTabModel::syncEnabled() const
{
    return m_sync && m_sync->enabled();
}

void AccountTabModel::setSyncEnabled(bool enabled)
{
    if (m_sync) {
        m_sync->setEnabled(enabled);
    }
}

AccountTabModel::UsageState AccountTabModel::usageState() const
{
    if (m_usage) {
        return UsageState::loaded;
    }
    return m_usageFailed ? UsageState::failed : UsageState::loading;
}

QString AccountTabModel::requestsDetail() const
{
    return m_usage ? CleanupUsage::requestsDetail(m_usage->requests) : QString();
}

double AccountTabModel::requestsFraction() const
{
    return m_usage ? CleanupUsage::fraction(m_usage->requests) : 0;
}

bool AccountTabModel::requestsWarn() const
{
    return CleanupUsage::warns(requestsFraction());
}

QString AccountTabModel::costDetail() const
{
    return m_usage ? CleanupUsage::percentageDetail(CleanupUsage::percentage(costFraction()))
                   : QString();
}

double AccountTabModel::costFraction() const
{
    return m_usage ? CleanupUsage::fraction(m_usage->costMicros) : 0;
}

bool AccountTabModel::costWarn() const
{
    return CleanupUsage::warns(costFraction());
}

QString AccountTabModel::resetLine() const
{
    if (!m_usage) {
        return QString();
    }
    const auto time = m_usage->localResetTime();
    if (!time) {
        return QString();
    }
    return m_l10n.string(QStringLiteral("acct.usageReset"), *time);
}

double AccountTabModel::fillWidth(double fraction, double barWidth) const
{
    return CleanupUsage::fillWidth(fraction, barWidth);
}

void AccountTabModel::signIn()
{
    if (m_account) {
        m_account->signIn();
    }
}

void AccountTabModel::signOut()
{
    if (m_account) {
        m_account->signOut();
    }
}

void AccountTabModel::startFetch()
{
    QCoro::connect(fetchUsage(), this, [] {});
}

QCoro::Task<> AccountTabModel::fetchUsage()
{
    const quint64 generation = ++m_generation;
    m_usage.reset();
    m_usageFailed = false;
    Q_EMIT usageChanged();

    const std::optional<QString> token = m_account ? m_account->storedToken() : std::nullopt;
    if (!token) {
        co_return;
    }
    if (!m_session) {
        finishFetch(generation, *token, std::nullopt);
        co_return;
    }
    CloudRequest request = m_session->request(QStringLiteral("cleanup/usage"));
    request.timeout = usageTimeout;
    request.setBearer(*token);
    const QPointer<AccountTabModel> self(this);
    const CloudReply reply = co_await m_session->perform(std::move(request));
    // The tab may have gone while the service answered.
    if (!self) {
        co_return;
    }
    finishFetch(generation, *token, usageFrom(reply));
}

void AccountTabModel::finishFetch(quint64 generation, const QString &token,
                                  std::optional<CleanupUsage> usage)
{
    // A newer fetch took over (a sign-out starts one), or the token the query carried is no longer
    // the stored one: the answer belongs to an account that is not shown.
    if (generation != m_generation || !m_account || m_account->storedToken() != token) {
        return;
    }
    m_usage = std::move(usage);
    m_usageFailed = !m_usage;
    Q_EMIT usageChanged();
}
