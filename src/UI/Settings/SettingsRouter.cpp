#include "UI/Settings/SettingsRouter.h"

SettingsRouter &SettingsRouter::shared()
{
    static auto *router = new SettingsRouter();
    return *router;
}

SettingsRouter::SettingsRouter(QObject *parent)
    : QObject(parent)
{ }

void SettingsRouter::setSelectedTab(SettingsTab tab)
{
    if (tab == m_selectedTab) {
        return;
    }
    m_selectedTab = tab;
    Q_EMIT selectedTabChanged();
}
