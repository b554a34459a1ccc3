#pragma once

#include "Core/Models/DictationHoldKey.h"

#include <QObject>
#include <QSet>

// The hold keys the active keyboard layout keeps for typing. A right-hand key that the layout
// uses to choose the third or fifth level (Right Alt as AltGr on German or French layouts) types
// "@" or "€" and is never a hotkey; a task set to it has no key. The hotkey manager writes what
// its key listener reads from the layout; the settings window, the tray menu and the guide read
// it to show the key that really starts each task. Main thread.
class HotkeyLayout : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    static HotkeyLayout &shared();

    const QSet<DictationHoldKey> &reservedKeys() const { return m_reserved; }
    bool isReserved(DictationHoldKey key) const { return m_reserved.contains(key); }
    // The key that really starts a task set to `key`: the key itself, or none when the layout
    // keeps it for typing.
    DictationHoldKey bound(DictationHoldKey key) const;

    void setReservedKeys(const QSet<DictationHoldKey> &keys);

Q_SIGNALS:
    void reservedKeysChanged();

private:
    QSet<DictationHoldKey> m_reserved;
};
