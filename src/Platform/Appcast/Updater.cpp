#include "Platform/Appcast/Updater.h"

#include "Base/Clock.h"
#include "Base/Timer.h"
#include "Base/UserDefaults.h"
#include "Platform/Appcast/Appcast.h"
#include "Platform/UrlOpener.h"

#include <QCoro/QCoroNetworkReply>
#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>

namespace {

Q_LOGGING_CATEGORY(lcUpdater, "updater")

const QString kAutomaticKey = QStringLiteral("SUEnableAutomaticChecks");
const QString kLastCheckKey = QStringLiteral("SULastCheckTime");
const QString kAnnouncedKey = QStringLiteral("updaterAnnouncedVersion");

bool isWebAddress(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty()
        && (scheme == QLatin1String("https") || scheme == QLatin1String("http"));
}

} // namespace

Updater::Updater(QUrl feedURL, QString currentVersion, UrlOpener &opener, UserDefaults &defaults,
                 Clock &clock, QObject *parent)
    : QObject(parent)
    , m_feedURL(std::move(feedURL))
    , m_currentVersion(std::move(currentVersion))
    , m_opener(opener)
    , m_defaults(defaults)
    , m_clock(clock)
    , m_network(new QNetworkAccessManager(this))
    , m_timer(clock.makeTimer())
{
    m_automatic = m_defaults.boolValue(kAutomaticKey).value_or(false);
    connect(m_timer.get(), &Timer::timeout, this, [this] { check(false); });
}

Updater::~Updater() = default;

void Updater::start()
{
    m_started = true;
    scheduleNextCheck();
}

void Updater::checkForUpdates()
{
    check(true);
}

void Updater::setAutomaticallyChecksForUpdates(bool on)
{
    if (on == m_automatic) {
        return;
    }
    m_automatic = on;
    m_defaults.setValue(kAutomaticKey, on);
    Q_EMIT automaticallyChecksForUpdatesChanged(on);
    if (!m_checking) {
        scheduleNextCheck();
    }
}

std::optional<QDateTime> Updater::lastUpdateCheckDate() const
{
    if (auto stored = m_defaults.string(kLastCheckKey)) {
        const QDateTime date = QDateTime::fromString(*stored, Qt::ISODateWithMs);
        if (date.isValid()) {
            return date.toUTC();
        }
    }
    return std::nullopt;
}

void Updater::scheduleNextCheck()
{
    if (!m_started || !m_automatic) {
        m_timer->stop();
        return;
    }
    std::chrono::milliseconds delay {0};
    if (auto last = lastUpdateCheckDate()) {
        const qint64 since = last->msecsTo(m_clock.now());
        const qint64 interval = std::chrono::milliseconds(checkInterval).count();
        // A clock set back must not push the next check further than one interval away.
        delay = std::chrono::milliseconds(qBound<qint64>(0, interval - since, interval));
    }
    m_timer->start(delay, false);
}

void Updater::check(bool userInitiated)
{
    if (m_checking) {
        m_userInitiated = m_userInitiated || userInitiated;
        return;
    }
    m_checking = true;
    m_userInitiated = userInitiated;
    m_timer->stop();
    m_defaults.setValue(kLastCheckKey, m_clock.now().toUTC().toString(Qt::ISODateWithMs));
    Q_EMIT checkingChanged(true);
    fetchAndEvaluate();
}

QCoro::Task<> Updater::fetchAndEvaluate()
{
    if (!isWebAddress(m_feedURL)) {
        Outcome outcome;
        outcome.detail = QStringLiteral("the feed address is not an http or https address: ")
            + m_feedURL.toString();
        finish(outcome);
        co_return;
    }
    QPointer<Updater> self(this);
    QNetworkRequest request(m_feedURL);
    request.setTransferTimeout(static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(requestTimeout).count()));
    QNetworkReply *reply = m_network->get(request);
    auto tooLarge = std::make_shared<bool>(false);
    connect(reply, &QNetworkReply::downloadProgress, reply,
            [reply, tooLarge](qint64 received, qint64 total) {
                if (!*tooLarge && (received > maxFeedBytes || total > maxFeedBytes)) {
                    *tooLarge = true;
                    reply->abort();
                }
            });
    co_await reply;
    if (!self) {
        reply->deleteLater();
        co_return;
    }
    Outcome outcome;
    if (*tooLarge) {
        outcome.detail = QStringLiteral("the feed is larger than %1 bytes").arg(maxFeedBytes);
    } else if (reply->error() != QNetworkReply::NoError) {
        outcome.detail = reply->errorString();
    } else {
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (status < 200 || status > 299) {
            outcome.detail = QStringLiteral("HTTP status %1").arg(status);
        } else {
            outcome = evaluate(reply->readAll());
        }
    }
    reply->deleteLater();
    finish(outcome);
}

Updater::Outcome Updater::evaluate(const QByteArray &feed) const
{
    Outcome outcome;
    QString error;
    const std::optional<Appcast> appcast = Appcast::parse(feed, &error);
    if (!appcast) {
        outcome.detail = QStringLiteral("unreadable feed: ") + error;
        return outcome;
    }
    const std::optional<Appcast::Item> update = appcast->bestUpdate(m_currentVersion);
    if (!update) {
        outcome.result = CheckResult::upToDate;
        return outcome;
    }
    outcome.result = CheckResult::updateFound;
    outcome.version = update->version;
    outcome.displayVersion = update->displayVersion;
    outcome.page = update->downloadPage;
    return outcome;
}

void Updater::finish(const Outcome &outcome)
{
    const bool userInitiated = m_userInitiated;
    switch (outcome.result) {
    case CheckResult::updateFound: {
        qCInfo(lcUpdater).noquote()
            << QStringLiteral("version %1 (build %2) is available at %3")
                   .arg(outcome.displayVersion, outcome.version, outcome.page.toString());
        // A scheduled check announces each release once; the user asking always gets the page.
        const bool announced =
            m_defaults.string(kAnnouncedKey).value_or(QString()) == outcome.version;
        if (userInitiated || !announced) {
            if (m_opener.openUrl(outcome.page)) {
                m_defaults.setValue(kAnnouncedKey, outcome.version);
            } else {
                qCWarning(lcUpdater).noquote() << "could not open" << outcome.page.toString();
            }
        }
        break;
    }
    case CheckResult::upToDate:
        qCInfo(lcUpdater).noquote()
            << QStringLiteral("up to date (build %1)").arg(m_currentVersion);
        break;
    case CheckResult::failed:
        qCWarning(lcUpdater).noquote() << "check failed:" << outcome.detail;
        break;
    }
    m_checking = false;
    m_userInitiated = false;
    scheduleNextCheck();
    Q_EMIT checkingChanged(false);
    Q_EMIT checkFinished(outcome.result, userInitiated, outcome.displayVersion, outcome.page,
                         outcome.detail);
}
