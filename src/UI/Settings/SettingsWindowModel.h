#pragma once

#include "UI/Settings/SettingsTab.h"
#include "UI/Settings/TesterTapCounter.h"

#include <QColor>
#include <QObject>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

#include <array>
#include <functional>

class AccountTabModel;
class Clock;
class CloudAccount;
class CloudSession;
class CloudSync;
class DictionaryTabModel;
class L10n;
class PermissionsTabModel;
class SettingsRouter;

// The sidebar and heading of the settings window: one row per tab in sidebar order, the selected
// tab's heading and subtitle, and the footer. Texts are looked up again on every language change.
class SettingsWindowModel : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("made by the window")
    Q_PROPERTY(QVariantList tabs READ tabs NOTIFY textsChanged)
    Q_PROPERTY(int selectedIndex READ selectedIndex WRITE setSelectedIndex NOTIFY selectionChanged)
    Q_PROPERTY(QString selectedName READ selectedName NOTIFY selectionChanged)
    Q_PROPERTY(QString heading READ heading NOTIFY headingChanged)
    Q_PROPERTY(QString subtitle READ subtitle NOTIFY headingChanged)
    Q_PROPERTY(QString sidebarHeading READ sidebarHeading NOTIFY textsChanged)
    Q_PROPERTY(QString appVersion READ appVersion CONSTANT)
    Q_PROPERTY(bool testerEnabled READ testerEnabled NOTIFY testerEnabledChanged)
    Q_PROPERTY(bool hasDictionary READ hasDictionary CONSTANT)
    Q_PROPERTY(QString handOffNotice READ handOffNotice NOTIFY handOffNoticeChanged)

public:
    struct Services
    {
        std::function<bool()> testerEnabled;
        std::function<void()> toggleTester;
        // The version the sidebar's footer shows, the one the About tab shows too.
        QString shortVersion;
        // Makes the model of a Dictionary tab being made, owned by the tab; without it the tab
        // stays empty.
        std::function<DictionaryTabModel *(QObject *tab)> makeDictionaryModel;
        // The Account tab's account, sync switch and the session its usage query goes through;
        // each may be absent.
        CloudAccount *account = nullptr;
        CloudSync *sync = nullptr;
        CloudSession *session = nullptr;
    };

    SettingsWindowModel(SettingsRouter &router, L10n &l10n, Clock &clock, Services services,
                        QObject *parent = nullptr);

    // The chip gradient of a tab's sidebar row: top, then bottom.
    static std::array<QColor, 2> chipColors(SettingsTab tab);
    // The sidebar separates the content tabs from the account tabs with a divider above these.
    static bool dividerAbove(SettingsTab tab);
    static QString glyph(SettingsTab tab);
    // The project version, or "0.1.0" when the build carries none.
    static QString versionText(const QString &shortVersion);

    QVariantList tabs() const;
    int selectedIndex() const;
    void setSelectedIndex(int index);
    QString selectedName() const;
    QString heading() const;
    QString subtitle() const;
    QString sidebarHeading() const;
    QString appVersion() const;
    bool testerEnabled() const;
    bool hasDictionary() const { return bool(m_services.makeDictionaryModel); }
    // Empty, or why the last hand-off to the desktop (a sign-in page, a web link) opened nothing,
    // in the current language.
    QString handOffNotice() const;

    // A button handed something to the desktop: a failure shows the text of `failureKey` until a
    // later hand-off succeeds or the user dismisses it. The account's sign-ins report here by
    // themselves.
    void reportHandOff(bool opened, const QString &failureKey);
    Q_INVOKABLE void dismissHandOffNotice();

    Q_INVOKABLE void testerIconTapped();
    // The model of a Permissions tab being made, owned by (and gone with) `tab`.
    Q_INVOKABLE PermissionsTabModel *makePermissionsModel(QObject *tab);
    // The model of a Dictionary tab being made, owned by (and gone with) `tab`; null without one.
    Q_INVOKABLE DictionaryTabModel *makeDictionaryModel(QObject *tab);
    // The model of an Account tab being made, owned by (and gone with) `tab`: its usage starts
    // afresh each time the tab is shown.
    Q_INVOKABLE AccountTabModel *makeAccountModel(QObject *tab);

Q_SIGNALS:
    void textsChanged();
    void selectionChanged();
    void headingChanged();
    void testerEnabledChanged();
    void handOffNoticeChanged();

private:
    SettingsRouter &m_router;
    L10n &m_l10n;
    Clock &m_clock;
    Services m_services;
    TesterTapCounter m_taps;
    QString m_handOffFailure;
};
