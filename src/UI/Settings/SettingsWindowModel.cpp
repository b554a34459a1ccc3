#include "UI/Settings/SettingsWindowModel.h"

#include "Core/CloudAccount.h"
#include "Support/L10n.h"
#include "UI/Settings/AccountTabModel.h"
#include "UI/Settings/DictionaryTabModel.h"
#include "UI/Settings/PermissionsTabModel.h"
#include "UI/Settings/SettingsRouter.h"

#include <QJSEngine>

#include <QMetaEnum>
#include <QVariantMap>

namespace {

const QList<SettingsTab> &allTabs()
{
    static const QList<SettingsTab> tabs = {SettingsTab::general, SettingsTab::dictation,
                                            SettingsTab::cleanup, SettingsTab::dictionary,
                                            SettingsTab::history, SettingsTab::permissions,
                                            SettingsTab::account, SettingsTab::about};
    return tabs;
}

QString tabName(SettingsTab tab)
{
    return QString::fromLatin1(
        QMetaEnum::fromType<SettingsTab>().valueToKey(static_cast<int>(tab)));
}

} // namespace

SettingsWindowModel::SettingsWindowModel(SettingsRouter &router, L10n &l10n, Clock &clock,
                                         Services services, QObject *parent)
    : QObject(parent)
    , m_router(router)
    , m_l10n(l10n)
    , m_clock(clock)
    , m_services(std::move(services))
    , m_taps(clock)
{
    connect(&m_router, &SettingsRouter::selectedTabChanged, this, [this] {
        Q_EMIT selectionChanged();
        Q_EMIT headingChanged();
    });
    connect(&m_l10n, &L10n::languageChanged, this, [this] {
        Q_EMIT textsChanged();
        Q_EMIT headingChanged();
        if (!m_handOffFailure.isEmpty()) {
            Q_EMIT handOffNoticeChanged();
        }
    });
    if (m_services.account) {
        connect(m_services.account, &CloudAccount::signInPageOpened, this, [this](bool opened) {
            reportHandOff(opened, QStringLiteral("handoff.noBrowser"));
        });
    }
}

QString SettingsWindowModel::handOffNotice() const
{
    return m_handOffFailure.isEmpty() ? QString() : m_l10n.string(m_handOffFailure);
}

void SettingsWindowModel::reportHandOff(bool opened, const QString &failureKey)
{
    const QString failure = opened ? QString() : failureKey;
    if (failure != m_handOffFailure) {
        m_handOffFailure = failure;
        Q_EMIT handOffNoticeChanged();
    }
}

void SettingsWindowModel::dismissHandOffNotice()
{
    reportHandOff(true, QString());
}

std::array<QColor, 2> SettingsWindowModel::chipColors(SettingsTab tab)
{
    switch (tab) {
    case SettingsTab::general:
        return {QColor(142, 142, 147), QColor(110, 110, 115)};
    case SettingsTab::dictation:
        return {QColor(218, 143, 255), QColor(175, 82, 222)};
    case SettingsTab::cleanup:
        return {QColor(74, 163, 255), QColor(10, 132, 255)};
    case SettingsTab::dictionary:
        return {QColor(90, 200, 224), QColor(48, 176, 199)};
    case SettingsTab::history:
        return {QColor(255, 100, 130), QColor(255, 45, 85)};
    case SettingsTab::permissions:
        return {QColor(255, 179, 64), QColor(255, 149, 0)};
    case SettingsTab::account:
        return {QColor(102, 212, 207), QColor(0, 163, 163)};
    case SettingsTab::about:
        return {QColor(142, 142, 240), QColor(94, 92, 230)};
    }
    return {QColor(142, 142, 147), QColor(110, 110, 115)};
}

bool SettingsWindowModel::dividerAbove(SettingsTab tab)
{
    return tab == SettingsTab::history || tab == SettingsTab::permissions
        || tab == SettingsTab::account;
}

QString SettingsWindowModel::glyph(SettingsTab tab)
{
    switch (tab) {
    case SettingsTab::general:
        return QStringLiteral("\u2699");
    case SettingsTab::dictation:
        return QStringLiteral("\u25CF");
    case SettingsTab::cleanup:
        return QStringLiteral("\u2726");
    case SettingsTab::dictionary:
        return QStringLiteral("Aa");
    case SettingsTab::history:
        return QStringLiteral("\u25F7");
    case SettingsTab::permissions:
        return QStringLiteral("\u2713");
    case SettingsTab::account:
        return QStringLiteral("\u263A");
    case SettingsTab::about:
        return QStringLiteral("i");
    }
    return QString();
}

QString SettingsWindowModel::versionText(const QString &shortVersion)
{
    return shortVersion.isEmpty() ? QStringLiteral("0.1.0") : shortVersion;
}

QVariantList SettingsWindowModel::tabs() const
{
    QVariantList rows;
    for (SettingsTab tab : allTabs()) {
        const auto colors = chipColors(tab);
        const QString name = tabName(tab);
        rows.append(QVariantMap {
            {QStringLiteral("name"), name},
            {QStringLiteral("title"), m_l10n.string(QStringLiteral("tab.") + name)},
            {QStringLiteral("glyph"), glyph(tab)},
            {QStringLiteral("chipTop"), colors[0]},
            {QStringLiteral("chipBottom"), colors[1]},
            {QStringLiteral("dividerAbove"), dividerAbove(tab)},
        });
    }
    return rows;
}

int SettingsWindowModel::selectedIndex() const
{
    return static_cast<int>(allTabs().indexOf(m_router.selectedTab()));
}

void SettingsWindowModel::setSelectedIndex(int index)
{
    if (index < 0 || index >= allTabs().size()) {
        return;
    }
    m_router.setSelectedTab(allTabs().at(index));
}

QString SettingsWindowModel::selectedName() const
{
    return tabName(m_router.selectedTab());
}

QString SettingsWindowModel::heading() const
{
    return m_l10n.string(QStringLiteral("tab.") + selectedName());
}

QString SettingsWindowModel::subtitle() const
{
    return m_l10n.string(QStringLiteral("sub.") + selectedName());
}

QString SettingsWindowModel::sidebarHeading() const
{
    return m_l10n.string(QStringLiteral("settings.title"));
}

QString SettingsWindowModel::appVersion() const
{
    return versionText(m_services.shortVersion);
}

bool SettingsWindowModel::testerEnabled() const
{
    return m_services.testerEnabled && m_services.testerEnabled();
}

void SettingsWindowModel::testerIconTapped()
{
    if (m_taps.tap() && m_services.toggleTester) {
        m_services.toggleTester();
    }
}

PermissionsTabModel *SettingsWindowModel::makePermissionsModel(QObject *tab)
{
    auto *model = new PermissionsTabModel(m_clock, tab);
    QJSEngine::setObjectOwnership(model, QJSEngine::CppOwnership);
    return model;
}

DictionaryTabModel *SettingsWindowModel::makeDictionaryModel(QObject *tab)
{
    if (!m_services.makeDictionaryModel) {
        return nullptr;
    }
    DictionaryTabModel *model = m_services.makeDictionaryModel(tab);
    QJSEngine::setObjectOwnership(model, QJSEngine::CppOwnership);
    return model;
}

AccountTabModel *SettingsWindowModel::makeAccountModel(QObject *tab)
{
    auto *model =
        new AccountTabModel(m_l10n, m_services.account, m_services.sync, m_services.session, tab);
    QJSEngine::setObjectOwnership(model, QJSEngine::CppOwnership);
    return model;
}
