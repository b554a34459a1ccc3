#pragma once

#include "UI/Settings/SettingsTab.h"

#include <QObject>

// The tab the settings window shows. It lives for the whole process, so the selection survives
// closing and reopening the window. Main thread.
class SettingsRouter : public QObject
{
    Q_OBJECT
    Q_PROPERTY(SettingsTabNS::SettingsTab selectedTab READ selectedTab WRITE setSelectedTab NOTIFY
                   selectedTabChanged)

public:
    static SettingsRouter &shared();

    explicit SettingsRouter(QObject *parent = nullptr);

    SettingsTab selectedTab() const { return m_selectedTab; }
    void setSelectedTab(SettingsTab tab);

Q_SIGNALS:
    void selectedTabChanged();

private:
    SettingsTab m_selectedTab = SettingsTab::general;
};
