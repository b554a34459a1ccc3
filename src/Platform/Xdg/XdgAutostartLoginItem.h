#pragma once

#include "Platform/LoginItem.h"

#include <QString>

// The login item as an XDG autostart entry: registering writes
// "<autostart folder>/org.sonorvelle.Sonorvelle.desktop" that starts the executable, unregistering
// removes it. The desktop session starts every entry of that folder at login.
class XdgAutostartLoginItem final : public LoginItem
{
public:
    // The folder $XDG_CONFIG_HOME/autostart (~/.config/autostart when unset) and this process's
    // executable.
    XdgAutostartLoginItem();
    XdgAutostartLoginItem(QString autostartFolder, QString executablePath);

    bool registerItem(QString &error) override;
    bool unregisterItem(QString &error) override;

    QString entryPath() const;

private:
    QString m_folder;
    QString m_executable;
};
