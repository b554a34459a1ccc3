#pragma once

#include <QList>
#include <QString>
#include <QVariant>

// One entry of the status menu as the menu model describes it: a separator, or an item with a
// title that runs an action, holds a submenu, or only shows something. The view turns these
// into menu entries each time the menu opens.
struct StatusMenuItem
{
    enum class Action {
        none,
        toggleDictation,
        cancelDictation,
        togglePause,
        selectMicrophone,
        copyHistoryItem,
        showHistory,
        showSettings,
        showGuide,
        openPermissions,
        checkForUpdates,
        showAbout,
        quit,
    };

    bool isSeparator = false;
    QString title;
    Action action = Action::none;
    // The key that, with Ctrl, chooses the item while the menu is open (",", "q"); empty: none.
    QString keyEquivalent;
    bool enabled = true;
    // Items that may show a check mark; `checked` says whether they do now.
    bool checkable = false;
    bool checked = false;
    // What the action is about: an AudioInputDevice, a QString, or nothing.
    QVariant representedObject;
    // Non-empty: the item opens this submenu.
    QList<StatusMenuItem> submenu;

    static StatusMenuItem separator()
    {
        StatusMenuItem item;
        item.isSeparator = true;
        return item;
    }
};
