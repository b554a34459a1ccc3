#include "Core/IslandBridge.h"

#include "Base/Json.h"
#include "Base/Paths.h"
#include "Base/Timer.h"
#include "Base/Unicode.h"
#include "Core/AppSettings.h"
#include "Core/DictationController.h"
#include "Core/History/HistoryStore.h"
#include "Platform/Pasteboard.h"
#include "Support/L10n.h"
#include "Support/LocalizationTables.h"

#include <QDir>

#include <cmath>
#include <optional>

namespace {

const QString helloType = QStringLiteral("widget.hello");
const QString stateType = QStringLiteral("widget.state");
const QString separator = QStringLiteral(" \u00B7 ");

constexpr qint64 earPriority = 45;
constexpr qint64 earTint = 0xFF5B52;
constexpr qint64 recordingToggleTint = 0xFF453A;
constexpr qint64 toggleTint = 0x0A84FF;

// The longest duration shown; beyond it a record's length is taken as corrupt rather than real
// (ten years, far past any recording limit, and safely inside a 64-bit count).
constexpr double maxDurationSeconds = 10.0 * 365 * 24 * 3600;

std::unique_ptr<IslandBridge::Services> &sharedServices()
{
    static std::unique_ptr<IslandBridge::Services> services;
    return services;
}

} // namespace

IslandBridge::IslandBridge(Services services, QObject *parent)
    : QObject(parent)
    , m_services(std::move(services))
{
    Q_ASSERT(m_services.clock && m_services.socket);
    connect(m_services.socket.get(), &CompanionSocket::received, this, &IslandBridge::consume);
    connect(m_services.socket.get(), &CompanionSocket::closed, this, &IslandBridge::disconnect);
}

IslandBridge::~IslandBridge()
{
    m_services.socket->close();
}

void IslandBridge::configureShared(Services services)
{
    sharedServices() = std::make_unique<Services>(std::move(services));
}

IslandBridge &IslandBridge::shared()
{
    static IslandBridge *instance = [] {
        Q_ASSERT_X(sharedServices(), "IslandBridge::shared", "configureShared() must come first");
        // Lives as long as the process, like the other shared services.
        return new IslandBridge(std::move(*sharedServices()));
    }();
    return *instance;
}

QString IslandBridge::defaultSocketPath()
{
    return QDir(Paths::applicationSupport()).filePath(QStringLiteral("Velmoor/bridge.sock"));
}

// MARK: - Connection

void IslandBridge::start(DictationController *controller, AppSettings *settings)
{
    if (m_started) {
        return;
    }
    m_started = true;
    // Before the controller is known: a first connection declares the idle actions.
    connectIfPossible();

    m_retryTimer = m_services.clock->makeTimer();
    connect(m_retryTimer.get(), &Timer::timeout, this, &IslandBridge::heartbeat);
    m_retryTimer->start(heartbeatInterval, true, heartbeatTolerance);

    m_controller = controller;
    m_settings = settings;

    // The combined latest state and style, current pair first.
    const auto follow = [this] {
        if (!m_controller || !m_settings) {
            return;
        }
        const DictationState state = m_controller->state();
        const VoiceBarStyle style = m_settings->voiceBarStyle();
        QMetaObject::invokeMethod(
            this, [this, state, style] { stateChanged(state, style); }, Qt::QueuedConnection);
    };
    if (controller) {
        connect(controller, &DictationController::stateChanged, this, follow);
    }
    if (settings) {
        connect(settings, &AppSettings::voiceBarStyleChanged, this, follow);
    }
    follow();

    if (m_services.history) {
        connect(m_services.history, &HistoryStore::recordsChanged, this,
                &IslandBridge::declareItems, Qt::QueuedConnection);
    }
    QMetaObject::invokeMethod(this, &IslandBridge::declareItems, Qt::QueuedConnection);
}

void IslandBridge::connectIfPossible()
{
    if (m_connected) {
        return;
    }
    if (!m_services.socket->connectTo(m_services.socketPath)) {
        return;
    }
    m_connected = true;
    send(message(helloType));
    declareActions(controllerState());
    declareItems();
}

void IslandBridge::heartbeat()
{
    if (!m_connected) {
        connectIfPossible();
        return;
    }
    send(message(helloType));
    declareItems();
    if (!m_connected) {
        connectIfPossible();
    }
}

void IslandBridge::send(const WidgetMessage &message)
{
    if (!m_connected) {
        return;
    }
    std::optional<QByteArray> line = WidgetProtocol::encode(message);
    if (!line) {
        return;
    }
    line->append('\n');
    if (!m_services.socket->write(*line)) {
        disconnect();
    }
}

void IslandBridge::disconnect()
{
    m_services.socket->close();
    m_readBuffer.clear();
    m_connected = false;
    setHandedOver(false);
}

void IslandBridge::consume(const QByteArray &bytes)
{
    m_readBuffer.append(bytes);
    qsizetype start = 0;
    while (m_connected) {
        const qsizetype end = m_readBuffer.indexOf('\n', start);
        if (end < 0) {
            break;
        }
        const QByteArrayView line(m_readBuffer.constData() + start, end - start);
        start = end + 1;
        if (line.isEmpty()) {
            continue;
        }
        const std::optional<WidgetMessage> decoded = WidgetProtocol::decode(line);
        if (!decoded) {
            continue;
        }
        if (decoded->type == QLatin1String("widget.hostinfo")) {
            hostInfo(*decoded);
        } else if (decoded->type == QLatin1String("widget.command")) {
            handle(*decoded);
        }
    }
    if (!m_connected) {
        return;
    }
    m_readBuffer.remove(0, start);
    // A line that never ends would grow the buffer without bound.
    if (m_readBuffer.size() > maxLineBytes) {
        disconnect();
    }
}

// MARK: - Mirroring

void IslandBridge::stateChanged(DictationState state, VoiceBarStyle style)
{
    m_levelTimer.reset();
    if (state == DictationState::recording) {
        if (!m_recordStart) {
            m_recordStart = m_services.clock->uptime();
        }
    } else if (state == DictationState::idle) {
        m_recordStart.reset();
    }
    publish(state, m_controller ? m_controller->level() : 0.0f, style);
    declareActions(state);
    if (state == DictationState::recording && style == VoiceBarStyle::notch) {
        m_levelTimer = m_services.clock->makeTimer();
        connect(m_levelTimer.get(), &Timer::timeout, this, [this] {
            if (m_controller && m_settings) {
                publish(m_controller->state(), m_controller->level(), m_settings->voiceBarStyle());
            }
        });
        m_levelTimer->start(levelInterval, true);
    }
}

void IslandBridge::publish(DictationState state, float level, VoiceBarStyle style)
{
    if (style != VoiceBarStyle::notch || !m_connected) {
        setHandedOver(false);
        return;
    }
    WidgetMessage live = message(stateType);
    switch (state) {
    case DictationState::recording: {
        std::optional<QString> elapsed;
        if (m_recordStart) {
            const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                m_services.clock->uptime() - *m_recordStart);
            elapsed = timeText(seconds.count());
        }
        WidgetEar ear;
        ear.symbol = QStringLiteral("mic.fill");
        ear.text = LI(QStringLiteral("island.listening"));
        ear.level = earLevel(level);
        ear.tint = earTint;
        ear.priority = earPriority;
        ear.sprite = QStringLiteral("voice/listening");
        ear.meta = elapsed;
        m_lastEar = ear;
        WidgetStatus status;
        status.sprite = QStringLiteral("voice/listening");
        status.text = elapsed ? ear.text + separator + *elapsed : ear.text;
        live.ear = ear;
        live.status = status;
        send(live);
        if (m_connected) {
            setHandedOver(true);
        }
        break;
    }
    case DictationState::processing: {
        m_lastEar.reset();
        WidgetStatus status;
        status.sprite = QStringLiteral("voice/transcribing");
        status.text = LI(QStringLiteral("island.transcribing"));
        live.status = status;
        send(live);
        if (m_connected) {
            setHandedOver(true);
        }
        break;
    }
    case DictationState::idle:
        m_lastEar.reset();
        send(live);
        setHandedOver(false);
        break;
    }
}

void IslandBridge::declareActions(DictationState state)
{
    if (!m_connected) {
        return;
    }
    m_lastActionState = state;
    const bool recording = state == DictationState::recording;
    QList<WidgetAction> actions;
    WidgetAction toggle;
    toggle.id = QStringLiteral("toggle");
    toggle.title = LI(QStringLiteral("menu.toggle_dictation"));
    toggle.symbol = recording ? QStringLiteral("stop.fill") : QStringLiteral("mic.fill");
    toggle.tint = recording ? recordingToggleTint : toggleTint;
    toggle.detail = LI(QStringLiteral("island.dToggle"));
    actions.append(toggle);
    const auto plain = [this](const char *id, const char *titleKey, const char *detailKey,
                              const char *symbol) {
        WidgetAction action;
        action.id = QString::fromLatin1(id);
        action.title = LI(QString::fromLatin1(titleKey));
        action.symbol = QString::fromLatin1(symbol);
        action.detail = LI(QString::fromLatin1(detailKey));
        return action;
    };
    if (recording) {
        actions.append(plain("cancel", "menu.cancel", "island.dCancel", "xmark.circle"));
    } else if (state == DictationState::idle) {
        actions.append(plain("ask", "dict.askKey", "island.dAsk", "questionmark.bubble"));
        actions.append(plain("translate", "dict.translateKey", "island.dTranslate", "globe"));
    }
    WidgetMessage declaration = message(stateType);
    declaration.ear = m_lastEar;
    declaration.actions = actions;
    send(declaration);
}

void IslandBridge::declareItems()
{
    if (!m_connected) {
        return;
    }
    QList<WidgetItem> items;
    if (m_services.history) {
        const QDateTime now = m_services.clock->now();
        const auto &records = m_services.history->records();
        for (qsizetype i = 0; i < records.size() && i < maxItems; ++i) {
            const TranscriptRecord &record = records.at(i);
            WidgetItem item;
            item.id = Json::uuidString(record.id);
            item.title =
                itemTitle(record.cleanedText.isEmpty() ? record.rawText : record.cleanedText);
            const QString when = m_relFormatter.string(record.date, now);
            item.meta = record.appName ? *record.appName + separator + when : when;
            item.sub = durationText(record.durationSeconds);
            items.append(item);
        }
    }
    WidgetMessage list = message(stateType);
    list.ear = m_lastEar;
    list.items = items;
    list.itemsTitle = LI(QStringLiteral("menu.history"));
    send(list);
}

void IslandBridge::hostInfo(const WidgetMessage &message)
{
    const std::optional<AppLanguage> language =
        message.lang ? AppLanguage::fromRawValue(*message.lang) : std::nullopt;
    if (language) {
        if (m_hostLang == language) {
            return;
        }
        m_hostLang = language;
        m_relFormatter.setLocale(language->rawValue());
    } else {
        if (!m_hostLang) {
            return;
        }
        // The dates keep the host's last locale; only the texts return to ours.
        m_hostLang.reset();
    }
    declareActions(m_lastActionState);
    declareItems();
}

void IslandBridge::handle(const WidgetMessage &message)
{
    if (message.itemId && m_services.history) {
        for (const TranscriptRecord &record : m_services.history->records()) {
            if (Json::uuidString(record.id) != *message.itemId) {
                continue;
            }
            const QString &text =
                record.cleanedText.isEmpty() ? record.rawText : record.cleanedText;
            if (m_services.pasteboard) {
                // One replacing write: emptying the clipboard first would lose what it held
                // when the write then fails.
                m_services.pasteboard->writeItems({{{Pasteboard::plainTextType, text.toUtf8()}}});
            }
            return;
        }
    }
    if (!message.actionId) {
        return;
    }
    const QString &action = *message.actionId;
    if (action == QLatin1String("cancel")) {
        if (m_controller) {
            m_controller->cancel(false);
        }
        return;
    }
    std::optional<DictationTask> task;
    if (action == QLatin1String("toggle")) {
        task = DictationTask::cleanup;
    } else if (action == QLatin1String("ask")) {
        task = DictationTask::ask;
    } else if (action == QLatin1String("translate")) {
        task = DictationTask::translate;
    }
    if (!task || !m_controller || m_controller->isPaused()) {
        return;
    }
    switch (m_controller->state()) {
    case DictationState::idle:
        // As a key press would be: ignored while the last session still stops.
        if (m_controller->isStopping()) {
            break;
        }
        m_controller->setSessionTask(*task);
        m_controller->startRecording(DictationTrigger::menu);
        break;
    case DictationState::recording:
        m_controller->stopAndInsert();
        break;
    case DictationState::processing:
        break;
    }
}

QString IslandBridge::LI(const QString &key) const
{
    if (m_hostLang) {
        const auto &tables = LocalizationTables::tables();
        const auto table = tables.constFind(*m_hostLang);
        if (table != tables.constEnd()) {
            const auto text = table->constFind(key);
            if (text != table->constEnd()) {
                return *text;
            }
        }
    }
    return L10n::shared().string(key);
}

// MARK: - Helpers

WidgetMessage IslandBridge::message(const QString &type) const
{
    WidgetMessage message;
    message.v = 1;
    message.type = type;
    message.app = m_services.appID;
    message.name = QStringLiteral("Sonorvelle");
    return message;
}

DictationState IslandBridge::controllerState() const
{
    return m_controller ? m_controller->state() : DictationState::idle;
}

void IslandBridge::setHandedOver(bool value)
{
    if (m_handedOver == value) {
        return;
    }
    m_handedOver = value;
    Q_EMIT handedOverChanged(value);
}

QString IslandBridge::timeText(qint64 seconds)
{
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QString IslandBridge::itemTitle(const QString &text)
{
    QString title = Unicode::trimmedWhitespaceAndNewlines(text);
    const std::u32string scalars = Unicode::scalars(title);
    for (size_t i = 0; i < scalars.size(); ++i) {
        if (Unicode::isNewline(scalars[i])) {
            title = Unicode::fromScalars(std::u32string_view(scalars).substr(0, i));
            break;
        }
    }
    return Unicode::graphemePrefix(title, titleLength);
}

double IslandBridge::earLevel(float level)
{
    // Written so that a level that is not a number shows full scale.
    return level < 0 ? 0.0 : (level < 1 ? double(level) : 1.0);
}

std::optional<QString> IslandBridge::durationText(double seconds)
{
    if (!std::isfinite(seconds) || seconds > maxDurationSeconds) {
        return std::nullopt;
    }
    // Halves away from zero.
    const double rounded = std::round(seconds);
    if (rounded < 1) {
        return std::nullopt;
    }
    return timeText(qint64(rounded));
}
