#include "UI/StatusItem/StatusMenuModel.h"

#include "Base/Unicode.h"
#include "Core/AppSettings.h"
#include "Core/Audio/AudioInputDevice.h"
#include "Core/Audio/MicrophoneDevices.h"
#include "Core/DictationController.h"
#include "Core/History/HistoryStore.h"
#include "Core/Hotkey/HotkeyLayout.h"
#include "Core/Permissions.h"
#include "Platform/Pasteboard.h"
#include "Support/L10n.h"
#include "UI/Settings/SettingsWindowShowing.h"

#include <algorithm>

namespace {

using Action = StatusMenuItem::Action;

QString text(const char *key)
{
    return L10n::shared().string(QString::fromLatin1(key));
}

StatusMenuItem actionItem(const char *key, Action action)
{
    StatusMenuItem item;
    item.title = text(key);
    item.action = action;
    return item;
}

// Blanks and tabs only: other white space, such as a no-break space, is part of the text.
QString trimmedSpacesAndTabs(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    const auto isSpaceOrTab = [](QChar c) {
        return c == QLatin1Char(' ') || c == QLatin1Char('\t');
    };
    while (begin < end && isSpaceOrTab(text[begin])) {
        ++begin;
    }
    while (end > begin && isSpaceOrTab(text[end - 1])) {
        --end;
    }
    return text.mid(begin, end - begin);
}

} // namespace

StatusMenuModel::StatusMenuModel(Services services)
    : m_services(std::move(services))
{ }

bool StatusMenuModel::needsPermissions()
{
    return !Permissions::microphoneGranted() || !Permissions::knownAccessibility();
}

std::optional<QString> StatusMenuModel::holdKeyHint(DictationHoldKey key)
{
    switch (key) {
    case DictationHoldKey::fn:
        return text("hotkey.fn");
    case DictationHoldKey::rightCommand:
        return text("hotkey.right_command");
    case DictationHoldKey::rightOption:
        return text("hotkey.right_option");
    case DictationHoldKey::rightControl:
        return text("key.rightControl");
    case DictationHoldKey::rightShift:
        return text("key.rightShift");
    case DictationHoldKey::none:
        break;
    }
    return std::nullopt;
}

QString StatusMenuModel::historyTitle(const QString &cleanedText)
{
    QString line = cleanedText;
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    line = trimmedSpacesAndTabs(line);
    if (Unicode::graphemeCount(line) > historyTitleLength) {
        return Unicode::graphemePrefix(line, historyTitleLength) + QStringLiteral("…");
    }
    return line;
}

QList<StatusMenuItem> StatusMenuModel::items() const
{
    const DictationController &controller = *m_services.controller;
    const DictationState state = controller.state();
    const bool missingPermissions = needsPermissions();

    QList<StatusMenuItem> menu;

    StatusMenuItem toggle = actionItem("menu.toggle_dictation", Action::toggleDictation);
    const DictationHoldKey holdKey = m_services.layout
        ? m_services.layout->bound(m_services.settings->holdKey())
        : m_services.settings->holdKey();
    if (const auto hint = holdKeyHint(holdKey)) {
        toggle.title += QStringLiteral(" (") + *hint + QStringLiteral(")");
    }
    toggle.enabled = state != DictationState::processing;
    menu << toggle;

    StatusMenuItem cancel = actionItem("menu.cancel", Action::cancelDictation);
    cancel.enabled = state != DictationState::idle;
    menu << cancel;

    menu << StatusMenuItem::separator();

    StatusMenuItem pause = actionItem("menu.pause", Action::togglePause);
    pause.checkable = true;
    pause.checked = controller.isPaused();
    menu << pause;
    menu << microphoneItem();
    menu << historyItem();

    menu << StatusMenuItem::separator();

    StatusMenuItem settings = actionItem("menu.settings", Action::showSettings);
    settings.keyEquivalent = QStringLiteral(",");
    settings.enabled = m_services.settingsWindow != nullptr;
    menu << settings;
    menu << actionItem("menu.guide", Action::showGuide);
    if (missingPermissions) {
        menu << actionItem("menu.open_permissions", Action::openPermissions);
    }
    if (m_services.checkForUpdates) {
        menu << actionItem("menu.check_updates", Action::checkForUpdates);
    }
    menu << actionItem("menu.about", Action::showAbout);

    menu << StatusMenuItem::separator();

    StatusMenuItem quit = actionItem("menu.quit", Action::quit);
    quit.keyEquivalent = QStringLiteral("q");
    menu << quit;
    return menu;
}

StatusMenuItem StatusMenuModel::microphoneItem() const
{
    m_services.microphones->refresh();
    const QList<AudioInputDevice> devices = m_services.microphones->devices();
    const std::optional<QString> &storedUID = m_services.settings->microphoneUID();

    StatusMenuItem parent;
    parent.title = text("dict.microphone");

    StatusMenuItem systemDefault = actionItem("common.systemDefault", Action::selectMicrophone);
    systemDefault.checkable = true;
    systemDefault.checked = !storedUID.has_value();
    parent.submenu << systemDefault;

    bool storedListed = false;
    if (!devices.isEmpty()) {
        parent.submenu << StatusMenuItem::separator();
        for (const AudioInputDevice &device : devices) {
            StatusMenuItem item;
            item.title = device.name;
            item.action = Action::selectMicrophone;
            item.representedObject = QVariant::fromValue(device);
            item.checkable = true;
            item.checked = storedUID.has_value() && *storedUID == device.uid;
            storedListed = storedListed || item.checked;
            parent.submenu << item;
        }
    }

    if (storedUID && !storedListed) {
        StatusMenuItem gone;
        const std::optional<QString> &storedName = m_services.settings->microphoneName();
        gone.title =
            text("mic.disconnected").replace(QStringLiteral("%@"), storedName.value_or(*storedUID));
        gone.enabled = false;
        gone.checkable = true;
        gone.checked = true;
        parent.submenu << gone;
    }
    return parent;
}

StatusMenuItem StatusMenuModel::historyItem() const
{
    StatusMenuItem parent;
    parent.title = text("menu.history");

    const QList<TranscriptRecord> &records = m_services.history->records();
    if (records.isEmpty()) {
        StatusMenuItem empty;
        empty.title = text("menu.history_empty");
        empty.enabled = false;
        parent.submenu << empty;
    } else {
        for (qsizetype i = 0; i < std::min(records.size(), historyItemCount); ++i) {
            StatusMenuItem item;
            item.title = historyTitle(records[i].cleanedText);
            item.action = Action::copyHistoryItem;
            item.representedObject = records[i].cleanedText;
            parent.submenu << item;
        }
    }

    parent.submenu << StatusMenuItem::separator();
    StatusMenuItem showAll = actionItem("menu.history_show_all", Action::showHistory);
    showAll.enabled = m_services.settingsWindow != nullptr;
    parent.submenu << showAll;
    return parent;
}

void StatusMenuModel::perform(StatusMenuItem::Action action, const QVariant &representedObject)
{
    switch (action) {
    case Action::none:
        break;
    case Action::toggleDictation:
        toggleDictation();
        break;
    case Action::cancelDictation:
        m_services.controller->cancel(false);
        break;
    case Action::togglePause:
        m_services.controller->setPaused(!m_services.controller->isPaused());
        break;
    case Action::selectMicrophone:
        selectMicrophone(representedObject);
        break;
    case Action::copyHistoryItem:
        copyHistoryItem(representedObject);
        break;
    case Action::showHistory:
        if (m_services.settingsWindow) {
            m_services.settingsWindow->show(SettingsTab::history);
        }
        break;
    case Action::showSettings:
        if (m_services.settingsWindow) {
            m_services.settingsWindow->show(std::nullopt);
        }
        break;
    case Action::showGuide:
        if (m_onShowOnboarding) {
            m_onShowOnboarding();
        }
        break;
    case Action::openPermissions:
        Permissions::openAccessibilitySettings();
        break;
    case Action::checkForUpdates:
        if (m_services.checkForUpdates) {
            m_services.checkForUpdates();
        }
        break;
    case Action::showAbout:
        if (m_services.showAbout) {
            m_services.showAbout();
        }
        break;
    case Action::quit:
        if (m_services.quit) {
            m_services.quit();
        }
        break;
    }
}

void StatusMenuModel::toggleDictation()
{
    DictationController &controller = *m_services.controller;
    switch (controller.state()) {
    case DictationState::idle:
        controller.setSessionTask(DictationTask::cleanup);
        controller.startRecording(DictationTrigger::menu);
        break;
    case DictationState::recording:
        controller.stopAndInsert();
        break;
    case DictationState::processing:
        break;
    }
}

void StatusMenuModel::selectMicrophone(const QVariant &device)
{
    if (device.metaType() == QMetaType::fromType<AudioInputDevice>()) {
        const auto chosen = device.value<AudioInputDevice>();
        m_services.settings->setMicrophone(chosen.uid, chosen.name);
    } else {
        m_services.settings->setMicrophone(std::nullopt, std::nullopt);
    }
}

void StatusMenuModel::copyHistoryItem(const QVariant &text)
{
    if (text.metaType() != QMetaType::fromType<QString>()) {
        return;
    }
    // One replacing write: emptying the clipboard first would lose what it held when the write
    // then fails.
    m_services.pasteboard->writeItems({{{Pasteboard::plainTextType, text.toString().toUtf8()}}});
}
