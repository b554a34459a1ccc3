#include "Core/Hotkey/HotkeyManager.h"

#include "Core/AppSettings.h"
#include "Core/DebugLog.h"
#include "Core/Hotkey/HotkeyLayout.h"
#include "Core/Permissions.h"
#include "Platform/X11/X11KeyEventTap.h"

#include <QPointer>

#include <algorithm>
#include <utility>

namespace {

// X keysyms of the keys that can be bound.
constexpr quint32 keysymShiftR = 0xffe2;
constexpr quint32 keysymControlR = 0xffe4;
constexpr quint32 keysymAltR = 0xffea;
constexpr quint32 keysymSuperR = 0xffec;

constexpr KeyEventTap::Modifiers allModifiers = KeyEventTap::Modifier::shift
    | KeyEventTap::Modifier::control | KeyEventTap::Modifier::option
    | KeyEventTap::Modifier::command;

} // namespace

HotkeyManager::HotkeyManager(QObject *parent)
    : QObject(parent)
    , m_settings(&AppSettings::shared())
    , m_tap(nullptr)
    , m_readTrust([] { return Permissions::readAccessibility(); })
    , m_layout(&HotkeyLayout::shared())
    , m_ownedTap(std::make_unique<X11KeyEventTap>())
{
    m_tap = m_ownedTap.get();
    connect(m_tap, &KeyEventTap::modifierKeyChanged, this, &HotkeyManager::handleModifierKey);
    connect(m_tap, &KeyEventTap::escapePressed, this, &HotkeyManager::handleEscape);
    connect(m_tap, &KeyEventTap::layoutChanged, this, &HotkeyManager::publishLayout);
}

HotkeyManager::HotkeyManager(const Services &services, QObject *parent)
    : QObject(parent)
    , m_settings(services.settings)
    , m_tap(services.tap)
    , m_readTrust(services.readTrust)
    , m_layout(services.layout)
{
    Q_ASSERT(m_settings && m_tap && m_readTrust);
    connect(m_tap, &KeyEventTap::modifierKeyChanged, this, &HotkeyManager::handleModifierKey);
    connect(m_tap, &KeyEventTap::escapePressed, this, &HotkeyManager::handleEscape);
    connect(m_tap, &KeyEventTap::layoutChanged, this, &HotkeyManager::publishLayout);
}

HotkeyManager::~HotkeyManager()
{
    // A tap handed in by the owner outlives the manager: it must not keep Escape.
    if (m_tap->isInstalled()) {
        m_tap->remove();
    }
}

QList<quint32> HotkeyManager::keysymsOf(DictationHoldKey key)
{
    switch (key) {
    case DictationHoldKey::rightCommand:
        return {keysymSuperR};
    case DictationHoldKey::rightOption:
        return {keysymAltR};
    case DictationHoldKey::rightControl:
        return {keysymControlR};
    case DictationHoldKey::rightShift:
        return {keysymShiftR};
    case DictationHoldKey::fn:
    case DictationHoldKey::none:
        break;
    }
    return {};
}

KeyEventTap::Modifiers HotkeyManager::modifierOf(DictationHoldKey key)
{
    switch (key) {
    case DictationHoldKey::rightCommand:
        return KeyEventTap::Modifier::command;
    case DictationHoldKey::rightOption:
        return KeyEventTap::Modifier::option;
    case DictationHoldKey::rightControl:
        return KeyEventTap::Modifier::control;
    case DictationHoldKey::rightShift:
        return KeyEventTap::Modifier::shift;
    case DictationHoldKey::fn:
    case DictationHoldKey::none:
        break;
    }
    return {};
}

QSet<DictationHoldKey> HotkeyManager::keysOf(KeyEventTap::Modifiers rightKeys)
{
    QSet<DictationHoldKey> keys;
    for (const DictationHoldKey key :
         {DictationHoldKey::rightCommand, DictationHoldKey::rightOption,
          DictationHoldKey::rightControl, DictationHoldKey::rightShift}) {
        if (rightKeys & modifierOf(key)) {
            keys.insert(key);
        }
    }
    return keys;
}

QList<HotkeyManager::Binding> HotkeyManager::resolveBindings(DictationHoldKey holdKey,
                                                             DictationHoldKey askKey,
                                                             DictationHoldKey translateKey)
{
    const std::array<std::pair<DictationHoldKey, DictationTask>, 3> walk {{
        {holdKey, DictationTask::cleanup},
        {askKey, DictationTask::ask},
        {translateKey, DictationTask::translate},
    }};
    QList<Binding> bindings;
    for (const auto &[key, task] : walk) {
        const QList<quint32> keysyms = keysymsOf(key);
        if (keysyms.isEmpty()) {
            continue;
        }
        const bool taken = std::any_of(bindings.cbegin(), bindings.cend(),
                                       [key = key](const Binding &b) { return b.key == key; });
        if (!taken) {
            bindings.append({key, keysyms, task});
        }
    }
    return bindings;
}

bool HotkeyManager::hasTap() const
{
    return m_tap->isInstalled();
}

std::optional<DictationTask> HotkeyManager::heldTask() const
{
    if (!m_holding) {
        return std::nullopt;
    }
    return m_holding->binding.task;
}

void HotkeyManager::start()
{
    if (!m_subscription) {
        subscribe();
    }
    QCoro::connect(m_readTrust(), this, [this](bool trusted) { applyTrust(trusted); });
    // Also catches a change of escapeAlsoActive's answer nobody announced.
    updateEscapeGrab();
}

void HotkeyManager::applyTrust(bool trusted)
{
    const bool wasTrusted = std::exchange(m_trusted, trusted);
    if (m_tap->isInstalled() && trusted) {
        if (!wasTrusted || !m_tap->isWorking()) {
            rebuild();
        }
    } else {
        installTapIfNeeded();
    }
}

void HotkeyManager::tearDownTap()
{
    m_tap->remove();
    m_bindings.clear();
    m_holding.reset();
}

void HotkeyManager::cancelSubscription()
{
    m_subscription.reset();
}

void HotkeyManager::setSessionState(DictationState state)
{
    m_sessionState = state;
    updateEscapeGrab();
}

void HotkeyManager::refreshEscape()
{
    updateEscapeGrab();
}

HotkeyManager::Keys HotkeyManager::currentKeys() const
{
    return {m_settings->holdKey(), m_settings->askKey(), m_settings->translateKey()};
}

void HotkeyManager::subscribe()
{
    m_subscription = std::make_unique<QObject>();
    // The values at subscription time count as delivered, so assigning a key its current value
    // changes nothing.
    m_lastKeys = currentKeys();
    QObject *context = m_subscription.get();
    connect(m_settings, &AppSettings::holdKeyChanged, context, [this] { keySettingsChanged(); });
    connect(m_settings, &AppSettings::askKeyChanged, context, [this] { keySettingsChanged(); });
    connect(m_settings, &AppSettings::translateKeyChanged, context,
            [this] { keySettingsChanged(); });
}

void HotkeyManager::keySettingsChanged()
{
    const Keys keys = currentKeys();
    if (keys == m_lastKeys) {
        return;
    }
    m_lastKeys = keys;
    // On the subscription, so that cancelling it also drops a rebuild not yet run.
    QMetaObject::invokeMethod(
        m_subscription.get(), [this] { rebuild(); }, Qt::QueuedConnection);
}

void HotkeyManager::installTapIfNeeded()
{
    if (m_tap->isInstalled() || !m_trusted) {
        return;
    }
    const Keys keys = currentKeys();
    const QList<Binding> bindings = resolveBindings(keys[0], keys[1], keys[2]);
    if (bindings.isEmpty()) {
        return;
    }
    if (!m_tap->install()) {
        return; // the next start() tries again
    }
    m_bindings = bindings;
    m_holding.reset();
    publishLayout();
    updateEscapeGrab();
}

void HotkeyManager::publishLayout()
{
    // Only an installed listener knows the layout; a removed one leaves the last word standing.
    if (m_layout && m_tap->isInstalled()) {
        m_layout->setReservedKeys(keysOf(m_tap->levelChoosingRightKeys()));
    }
}

void HotkeyManager::rebuild()
{
    const std::optional<DictationTask> held = heldTask();
    tearDownTap();
    if (held) {
        // The release is reported now, but never ahead of the press it ends: a press still
        // queued would otherwise reach the controller after its release and leave the session
        // recording with no release to come.
        deliverPending();
        if (onKeyUp) {
            onKeyUp(*held);
        }
    }
    installTapIfNeeded();
}

void HotkeyManager::handleModifierKey(const KeyEventTap::KeyEvent &event)
{
    if (!m_tap->isInstalled()) {
        return;
    }
    if (!event.down) {
        // The release is matched by the key that went down, so a layout switched while the key
        // was held cannot leave it held here.
        if (!m_holding || m_holding->keycode != event.keycode) {
            return;
        }
        const DictationTask task = m_holding->binding.task;
        m_holding.reset();
        queueReport({ReportKind::keyUp, task});
        updateEscapeGrab();
        return;
    }
    if (event.choosesLevel) {
        return; // the user is typing a character of the third or fifth level
    }
    const auto binding =
        std::find_if(m_bindings.cbegin(), m_bindings.cend(),
                     [&](const Binding &b) { return b.keysyms.contains(event.keysym); });
    if (binding == m_bindings.cend() || m_holding) {
        return;
    }
    m_holding = Held {*binding, event.keycode};
    queueReport({ReportKind::keyDown, binding->task});
    updateEscapeGrab();
}

bool HotkeyManager::escapeWanted() const
{
    if (m_sessionState != DictationState::idle) {
        return true;
    }
    return escapeAlsoActive && escapeAlsoActive();
}

void HotkeyManager::updateEscapeGrab()
{
    if (!m_tap->isInstalled()) {
        return;
    }
    const bool wanted = escapeWanted();
    const KeyEventTap::Modifiers allowed =
        wanted && m_holding ? modifierOf(m_holding->binding.key) : KeyEventTap::Modifiers();
    if (!m_tap->setEscapeTaken(wanted, allowed) && !m_escapeRefusalLogged) {
        m_escapeRefusalLogged = true;
        DebugLog::log(
            QStringLiteral("hotkey: another program holds Escape; it cannot be taken to cancel"));
    }
}

void HotkeyManager::handleEscape(KeyEventTap::Modifiers modifiers)
{
    if (!m_tap->isInstalled()) {
        return;
    }
    if (m_sessionState == DictationState::idle && !(escapeAlsoActive && escapeAlsoActive())) {
        // Taken by a grab that is no longer wanted: give Escape back for the next press.
        updateEscapeGrab();
        return;
    }
    // Escape with another modifier is someone else's shortcut; the held hotkey's own modifier
    // does not count.
    const KeyEventTap::Modifiers held =
        m_holding ? modifierOf(m_holding->binding.key) : KeyEventTap::Modifiers();
    const KeyEventTap::Modifiers blocking = allModifiers & ~held;
    if (modifiers & blocking) {
        return;
    }
    queueReport({ReportKind::escape, DictationTask::cleanup});
}

void HotkeyManager::queueReport(const Report &report)
{
    m_pending.append(report);
    if (!m_deliveryQueued) {
        m_deliveryQueued = true;
        QMetaObject::invokeMethod(this, &HotkeyManager::deliverPending, Qt::QueuedConnection);
    }
}

void HotkeyManager::deliverPending()
{
    m_deliveryQueued = false;
    QPointer<HotkeyManager> self(this);
    while (self && !m_pending.isEmpty()) {
        const Report report = m_pending.takeFirst();
        switch (report.kind) {
        case ReportKind::keyDown:
            if (onKeyDown) {
                onKeyDown(report.task);
            }
            break;
        case ReportKind::keyUp:
            if (onKeyUp) {
                onKeyUp(report.task);
            }
            break;
        case ReportKind::escape:
            if (onEscape) {
                onEscape();
            }
            break;
        }
    }
}
