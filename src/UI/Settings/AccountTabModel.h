#pragma once

#include "UI/Settings/CleanupUsage.h"

#include <QObject>
#include <QString>

#include <QCoro/QCoroTask>
#include <QtQml/qqmlregistration.h>

#include <chrono>
#include <optional>

class CloudAccount;
class CloudSession;
class CloudSync;
class L10n;

// The Account tab: the account's rows (signed in or out, the e-mail or "Signed in"), sign-in and
// sign-out, the sync switch over CloudSync::enabled, and today's usage of the cloud AI quota.
//
// One model is made each time the tab is shown and goes with it, so the usage starts afresh
// (loading) and is asked of the service again every time. Whether a cloud token is stored is read
// again at every change the account announces; the usage card shows only with one, and each flip
// of that flag runs the query again.
//
// fetchUsage() runs on the main thread and compares its generation after the wait: a reply that
// a newer fetch or a flip of the token flag (a sign-out, say) has overtaken is dropped, so a late
// answer never fills the card of a signed-out user. A failed query, a 401 included, only shows
// "Could not load usage"; it never signs the user out.
class AccountTabModel : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("made by the window")
    Q_PROPERTY(bool signedIn READ signedIn NOTIFY accountChanged)
    Q_PROPERTY(QString accountTitle READ accountTitle NOTIFY accountChanged)
    Q_PROPERTY(bool hasToken READ hasToken NOTIFY hasTokenChanged)
    Q_PROPERTY(bool syncEnabled READ syncEnabled WRITE setSyncEnabled NOTIFY syncEnabledChanged)
    Q_PROPERTY(UsageState usageState READ usageState NOTIFY usageChanged)
    Q_PROPERTY(bool usageLoaded READ usageLoaded NOTIFY usageChanged)
    Q_PROPERTY(bool usageFailed READ usageFailed NOTIFY usageChanged)
    Q_PROPERTY(QString requestsDetail READ requestsDetail NOTIFY usageChanged)
    Q_PROPERTY(double requestsFraction READ requestsFraction NOTIFY usageChanged)
    Q_PROPERTY(bool requestsWarn READ requestsWarn NOTIFY usageChanged)
    Q_PROPERTY(QString costDetail READ costDetail NOTIFY usageChanged)
    Q_PROPERTY(double costFraction READ costFraction NOTIFY usageChanged)
    Q_PROPERTY(bool costWarn READ costWarn NOTIFY usageChanged)
    Q_PROPERTY(QString resetLine READ resetLine NOTIFY usageChanged)

public:
    enum class UsageState { loading, loaded, failed };
    Q_ENUM(UsageState)

    // The settings window's requests to the service wait this long and are never retried.
    static constexpr std::chrono::milliseconds usageTimeout {8000};

    // Any of the objects may be absent (a build without the cloud): the tab then shows the
    // signed-out row and the switch writes nothing. They must outlive the model.
    AccountTabModel(L10n &l10n, CloudAccount *account, CloudSync *sync, CloudSession *session,
                    QObject *parent = nullptr);

    bool signedIn() const;
    // The signed-in row's title: the e-mail, or "Signed in" when the service reported none.
    QString accountTitle() const;
    bool hasToken() const { return m_hasToken; }
    bool syncEnabled() const;
    void setSyncEnabled(bool enabled);

    UsageState usageState() const;
    bool usageLoaded() const { return usageState() == UsageState::loaded; }
    bool usageFailed() const { return usageState() == UsageState::failed; }
    const std::optional<CleanupUsage> &usage() const { return m_usage; }
    QString requestsDetail() const;
    double requestsFraction() const;
    bool requestsWarn() const;
    QString costDetail() const;
    double costFraction() const;
    bool costWarn() const;
    // "Resets daily at 9:00 AM", or empty when the reset time does not parse.
    QString resetLine() const;

    // A meter's fill on a bar `barWidth` wide (CleanupUsage::fillWidth).
    Q_INVOKABLE double fillWidth(double fraction, double barWidth) const;

    Q_INVOKABLE void signIn();
    Q_INVOKABLE void signOut();

    // Starts the usage card over (loading) and asks the service; done when the answer is shown
    // or dropped. Without a token it stops at once, the card staying hidden.
    QCoro::Task<> fetchUsage();

Q_SIGNALS:
    void accountChanged();
    void hasTokenChanged();
    void syncEnabledChanged();
    void usageChanged();

private:
    void followAccount();
    void startFetch();
    void finishFetch(quint64 generation, const QString &token, std::optional<CleanupUsage> usage);

    L10n &m_l10n;
    CloudAccount *m_account;
    CloudSync *m_sync;
    CloudSession *m_session;
    bool m_hasToken = false;
    std::optional<CleanupUsage> m_usage;
    bool m_usageFailed = false;
    // Counts the fetches begun; only the latest one may show its answer.
    quint64 m_generation = 0;
};
