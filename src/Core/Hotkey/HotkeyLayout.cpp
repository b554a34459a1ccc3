#include "Core/Hotkey/HotkeyLayout.h"

HotkeyLayout &HotkeyLayout::shared()
{
    static HotkeyLayout layout;
    return layout;
}

DictationHoldKey HotkeyLayout::bound(DictationHoldKey key) const
{
    return isReserved(key) ? DictationHoldKey::none : key;
}

void HotkeyLayout::setReservedKeys(const QSet<DictationHoldKey> &keys)
{
    if (keys == m_reserved) {
        return;
    }
    m_reserved = keys;
    Q_EMIT reservedKeysChanged();
}
