#include "Platform/Atspi/AtspiAccessibility.h"

#include "Base/Unicode.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QHash>
#include <QList>
#include <QLocalSocket>
#include <QMutex>
#include <QSet>
#include <QStringList>
#include <QUrl>
#include <QVariant>

#include <algorithm>
#include <climits>
#include <utility>

#include <atspi/atspi-constants.h>
#include <unistd.h>

namespace {

const QString a11yBusService = QStringLiteral("org.a11y.Bus");
const QString a11yBusPath = QStringLiteral("/org/a11y/bus");
const QString statusInterface = QStringLiteral("org.a11y.Status");
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString accessibleInterface = QStringLiteral(ATSPI_DBUS_INTERFACE_ACCESSIBLE);
const QString collectionInterface = QStringLiteral(ATSPI_DBUS_INTERFACE_COLLECTION);
const QString textInterface = QStringLiteral(ATSPI_DBUS_INTERFACE_TEXT);

// Elements looked at when an application offers no Collection interface and its tree is walked.
constexpr int maxWalkedElements = 4000;

struct ObjectRef
{
    QString service;
    QString path;
};

bool hasState(quint64 states, AtspiStateType state)
{
    return (states >> int(state)) & 1;
}

QList<ObjectRef> objectRefs(const QVariant &value)
{
    QList<ObjectRef> refs;
    if (!value.canConvert<QDBusArgument>()) {
        return refs;
    }
    const QDBusArgument argument = value.value<QDBusArgument>();
    if (argument.currentSignature() != QLatin1String("a(so)")) {
        return refs;
    }
    argument.beginArray();
    while (!argument.atEnd()) {
        QString service;
        QDBusObjectPath path;
        argument.beginStructure();
        argument >> service >> path;
        argument.endStructure();
        refs.append({service, path.path()});
    }
    argument.endArray();
    return refs;
}

bool isTimeout(const QDBusMessage &reply)
{
    const QString name = reply.errorName();
    return name == QDBusError::errorString(QDBusError::NoReply)
        || name == QDBusError::errorString(QDBusError::Timeout)
        || name == QDBusError::errorString(QDBusError::TimedOut);
}

QDBusMessage call(const QDBusConnection &bus, const QString &service, const QString &path,
                  const QString &interface, const QString &method, const QVariantList &arguments,
                  int timeoutMs)
{
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    return bus.call(message, QDBus::Block, timeoutMs);
}

// How long the next request may wait: a request's own limit, cut to what is left of the deadline;
// nothing once the deadline has passed.
std::optional<int> requestTimeout(const QDeadlineTimer &deadline)
{
    if (deadline.isForever()) {
        return AtspiAccessibility::requestTimeoutMs;
    }
    const qint64 left = deadline.remainingTime();
    if (left <= 0) {
        return std::nullopt;
    }
    return int(std::min<qint64>(left, AtspiAccessibility::requestTimeoutMs));
}

// The process's own connection to the accessibility bus, opened at first use and again after the
// bus went away.
QDBusConnection accessibilityBus(const QDeadlineTimer &deadline)
{
    static QMutex mutex;
    static QString connectionName;
    static int generation = 0;
    QMutexLocker lock(&mutex);
    if (!connectionName.isEmpty()) {
        QDBusConnection existing(connectionName);
        if (existing.isConnected()) {
            return existing;
        }
        QDBusConnection::disconnectFromBus(connectionName);
        connectionName.clear();
    }
    QString address = qEnvironmentVariable("AT_SPI_BUS_ADDRESS");
    if (address.isEmpty()) {
        const std::optional<int> timeout = requestTimeout(deadline);
        if (!timeout) {
            return QDBusConnection(QString());
        }
        const QDBusMessage reply = call(QDBusConnection::sessionBus(), a11yBusService, a11yBusPath,
                                        a11yBusService, QStringLiteral("GetAddress"), {}, *timeout);
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
            address = reply.arguments().constFirst().toString();
        }
    }
    if (address.isEmpty()) {
        return QDBusConnection(QString());
    }
    const std::optional<int> timeout = requestTimeout(deadline);
    if (!timeout || !AtspiAccessibility::busAnswers(address, *timeout)) {
        return QDBusConnection(QString());
    }
    const QString name = QStringLiteral("sonorvelle-atspi-%1").arg(++generation);
    QDBusConnection bus = QDBusConnection::connectToBus(address, name);
    if (!bus.isConnected()) {
        QDBusConnection::disconnectFromBus(name);
        return QDBusConnection(QString());
    }
    connectionName = name;
    return bus;
}

} // namespace

bool AtspiAccessibility::busAnswers(const QString &address, int timeoutMs)
{
    for (const QString &entry : address.split(u';', Qt::SkipEmptyParts)) {
        if (!entry.startsWith(QLatin1String("unix:"))) {
            continue;
        }
        QString path;
        bool abstract = false;
        for (const QString &pair : entry.mid(5).split(u',')) {
            const qsizetype equals = pair.indexOf(u'=');
            const QString key = pair.left(equals);
            if (key == QLatin1String("path") || key == QLatin1String("abstract")) {
                path = QUrl::fromPercentEncoding(pair.mid(equals + 1).toUtf8());
                abstract = key == QLatin1String("abstract");
            }
        }
        if (path.isEmpty()) {
            continue;
        }
        const QDeadlineTimer deadline(timeoutMs);
        QLocalSocket socket;
        if (abstract) {
            socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
        }
        socket.connectToServer(path);
        if (!socket.waitForConnected(int(deadline.remainingTime()))) {
            return false;
        }
        // The opening of every connection: the credentials byte and the login by user id. Any
        // answer, even a refusal, shows a live daemon; the connection itself is made by QtDBus.
        socket.write(QByteArray(1, '\0') + "AUTH EXTERNAL " + QByteArray::number(::getuid()).toHex()
                     + "\r\n");
        while (!socket.canReadLine()) {
            if (deadline.hasExpired() || !socket.waitForReadyRead(int(deadline.remainingTime()))) {
                return false;
            }
        }
        return true;
    }
    return true;
}

// One read's view of the accessibility bus: the requests, and the applications that stopped
// answering during this read.
class AtspiAccessibility::Client
{
public:
    explicit Client(QDeadlineTimer deadline)
        : m_deadline(deadline)
        , m_bus(accessibilityBus(deadline))
    { }

    bool isConnected() const { return m_bus.isConnected(); }
    const QDeadlineTimer &deadline() const { return m_deadline; }

    bool timedOut()
    {
        QMutexLocker lock(&m_mutex);
        return m_timedOut;
    }

    void noteTimeout()
    {
        QMutexLocker lock(&m_mutex);
        m_timedOut = true;
    }

    std::optional<QVariantList> request(const ObjectRef &object, const QString &interface,
                                        const QString &method, const QVariantList &arguments = {})
    {
        if (!m_bus.isConnected() || isHung(object.service)) {
            return std::nullopt;
        }
        const std::optional<int> timeout = requestTimeout(m_deadline);
        if (!timeout) {
            noteTimeout();
            return std::nullopt;
        }
        const QDBusMessage reply =
            call(m_bus, object.service, object.path, interface, method, arguments, *timeout);
        if (reply.type() == QDBusMessage::ReplyMessage) {
            return reply.arguments();
        }
        if (isTimeout(reply)) {
            QMutexLocker lock(&m_mutex);
            m_timedOut = true;
            // Cut short by the deadline rather than by the application's own slowness, the
            // request says nothing about whether the application still answers.
            if (*timeout == AtspiAccessibility::requestTimeoutMs) {
                m_hung.insert(object.service);
            }
        }
        return std::nullopt;
    }

    std::optional<QVariant> property(const ObjectRef &object, const QString &interface,
                                     const QString &name)
    {
        const auto reply =
            request(object, propertiesInterface, QStringLiteral("Get"), {interface, name});
        if (!reply || reply->isEmpty()) {
            return std::nullopt;
        }
        return reply->constFirst().value<QDBusVariant>().variant();
    }

    std::optional<quint64> states(const ObjectRef &object)
    {
        const auto reply = request(object, accessibleInterface, QStringLiteral("GetState"));
        if (!reply || reply->isEmpty() || !reply->constFirst().canConvert<QDBusArgument>()) {
            return std::nullopt;
        }
        const QList<uint> words = qdbus_cast<QList<uint>>(reply->constFirst());
        if (words.size() != 2) {
            return std::nullopt;
        }
        return quint64(words[0]) | (quint64(words[1]) << 32);
    }

    std::optional<uint> role(const ObjectRef &object)
    {
        const auto reply = request(object, accessibleInterface, QStringLiteral("GetRole"));
        if (!reply || reply->isEmpty()) {
            return std::nullopt;
        }
        bool ok = false;
        const uint value = reply->constFirst().toUInt(&ok);
        return ok ? std::optional<uint>(value) : std::nullopt;
    }

    QStringList interfaces(const ObjectRef &object)
    {
        const auto reply = request(object, accessibleInterface, QStringLiteral("GetInterfaces"));
        return reply && !reply->isEmpty() ? reply->constFirst().toStringList() : QStringList();
    }

    QList<ObjectRef> children(const ObjectRef &object)
    {
        const auto reply = request(object, accessibleInterface, QStringLiteral("GetChildren"));
        return reply && !reply->isEmpty() ? objectRefs(reply->constFirst()) : QList<ObjectRef>();
    }

    // The applications the registry knows.
    QList<ObjectRef> applications()
    {
        return children(
            {QStringLiteral(ATSPI_DBUS_NAME_REGISTRY), QStringLiteral(ATSPI_DBUS_PATH_ROOT)});
    }

    // The process behind an application's connection to the bus. The bus hands out a connection
    // name only once, so the answer is kept for the life of the connection.
    std::optional<qint64> processID(const QString &service)
    {
        static QMutex cacheMutex;
        static QHash<QString, qint64> cache;
        const QString key = m_bus.name() + QLatin1Char(' ') + service;
        {
            QMutexLocker lock(&cacheMutex);
            if (const auto found = cache.constFind(key); found != cache.constEnd()) {
                return *found;
            }
        }
        const std::optional<int> timeout = requestTimeout(m_deadline);
        if (!timeout) {
            noteTimeout();
            return std::nullopt;
        }
        const QDBusMessage reply =
            call(m_bus, QStringLiteral("org.freedesktop.DBus"),
                 QStringLiteral("/org/freedesktop/DBus"), QStringLiteral("org.freedesktop.DBus"),
                 QStringLiteral("GetConnectionUnixProcessID"), {service}, *timeout);
        if (isTimeout(reply)) {
            noteTimeout();
        }
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
            return std::nullopt;
        }
        const qint64 pid = qint64(reply.arguments().constFirst().toUInt());
        QMutexLocker lock(&cacheMutex);
        cache.insert(key, pid);
        return pid;
    }

    // The application's window that has the ACTIVE state.
    std::optional<ObjectRef> activeWindow(const ObjectRef &application)
    {
        for (const ObjectRef &window : children(application)) {
            const std::optional<quint64> windowStates = states(window);
            if (windowStates && hasState(*windowStates, ATSPI_STATE_ACTIVE)) {
                return window;
            }
        }
        return std::nullopt;
    }

    // The element with the FOCUSED state below a window.
    std::optional<ObjectRef> focusedBelow(const ObjectRef &window, const QDeadlineTimer &deadline)
    {
        bool answered = false;
        std::optional<ObjectRef> found = focusedByCollection(window, &answered);
        if (answered || isHung(window.service)) {
            return found;
        }
        QList<ObjectRef> pending = children(window);
        std::reverse(pending.begin(), pending.end());
        int walked = 0;
        while (!pending.isEmpty() && walked < maxWalkedElements && !deadline.hasExpired()
               && !isHung(window.service)) {
            const ObjectRef object = pending.takeLast();
            ++walked;
            const std::optional<quint64> objectStates = states(object);
            if (!objectStates) {
                continue;
            }
            if (hasState(*objectStates, ATSPI_STATE_FOCUSED)) {
                return object;
            }
            // Hidden parts cannot hold the focus; lists that manage their items may have
            // thousands of them.
            if (!hasState(*objectStates, ATSPI_STATE_SHOWING)
                || hasState(*objectStates, ATSPI_STATE_MANAGES_DESCENDANTS)) {
                continue;
            }
            QList<ObjectRef> below = children(object);
            std::reverse(below.begin(), below.end());
            pending.append(below);
        }
        if (!pending.isEmpty() && deadline.hasExpired()) {
            noteTimeout();
        }
        return std::nullopt;
    }

private:
    bool isHung(const QString &service)
    {
        QMutexLocker lock(&m_mutex);
        return m_hung.contains(service);
    }

    // One request for the first element with the FOCUSED state; `answered` tells whether the
    // application offers the interface at all.
    std::optional<ObjectRef> focusedByCollection(const ObjectRef &window, bool *answered)
    {
        const quint64 focused = quint64(1) << int(ATSPI_STATE_FOCUSED);
        QDBusArgument rule;
        rule.beginStructure();
        rule << QList<int> {int(focused & 0xffffffffu), int(focused >> 32)};
        rule << int(ATSPI_Collection_MATCH_ALL);
        rule.beginMap(QMetaType::fromType<QString>(), QMetaType::fromType<QString>());
        rule.endMap();
        rule << int(ATSPI_Collection_MATCH_ALL);
        rule << QList<int> {0, 0, 0, 0}; // roles
        rule << int(ATSPI_Collection_MATCH_ALL);
        rule << QStringList(); // interfaces
        rule << int(ATSPI_Collection_MATCH_ALL);
        rule << false; // not inverted
        rule.endStructure();
        const auto reply = request(
            window, collectionInterface, QStringLiteral("GetMatches"),
            {QVariant::fromValue(rule), uint(ATSPI_Collection_SORT_ORDER_CANONICAL), 1, true});
        *answered = reply.has_value();
        if (!reply || reply->isEmpty()) {
            return std::nullopt;
        }
        const QList<ObjectRef> matches = objectRefs(reply->constFirst());
        return matches.isEmpty() ? std::nullopt : std::optional<ObjectRef>(matches.front());
    }

    QDeadlineTimer m_deadline;
    QDBusConnection m_bus;
    QMutex m_mutex;
    QSet<QString> m_hung;
    bool m_timedOut = false;
};

namespace {

class AtspiElement final : public AccessibilityElement
{
public:
    AtspiElement(std::shared_ptr<AtspiAccessibility::Client> client, ObjectRef object)
        : m_client(std::move(client))
        , m_object(std::move(object))
    { }

    std::optional<bool> isSecureTextField() override
    {
        const std::optional<uint> role = m_client->role(m_object);
        m_role = role;
        if (!role) {
            return std::nullopt;
        }
        return *role == uint(ATSPI_ROLE_PASSWORD_TEXT);
    }

    std::optional<QString> value() override
    {
        loadText();
        return m_text;
    }

    std::optional<QString> selectedText() override
    {
        const std::optional<Range> range = selectedTextRange();
        if (!range) {
            return std::nullopt;
        }
        if (range->length == 0) {
            return QString();
        }
        if (m_text) {
            const qsizetype start = Unicode::utf16OffsetForScalarOffset(*m_text, range->location);
            const qsizetype end =
                Unicode::utf16OffsetForScalarOffset(*m_text, range->location + range->length);
            return m_text->mid(start, end - start);
        }
        // The whole text could not be read: ask for the selected stretch in the element's units.
        const auto reply =
            m_client->request(m_object, textInterface, QStringLiteral("GetText"),
                              {int(m_rawSelection.first), int(m_rawSelection.second)});
        if (!reply || reply->isEmpty()) {
            return std::nullopt;
        }
        return reply->constFirst().toString();
    }

    std::optional<Range> selectedTextRange() override
    {
        if (m_rangeLoaded) {
            return m_range;
        }
        m_rangeLoaded = true;
        loadText();
        if (!m_isText) {
            return std::nullopt;
        }
        qint64 start = -1;
        qint64 end = -1;
        const auto count =
            m_client->request(m_object, textInterface, QStringLiteral("GetNSelections"));
        if (count && !count->isEmpty() && count->constFirst().toInt() > 0) {
            const auto selection =
                m_client->request(m_object, textInterface, QStringLiteral("GetSelection"), {0});
            if (selection && selection->size() >= 2) {
                start = selection->at(0).toLongLong();
                end = selection->at(1).toLongLong();
            }
        }
        if (start < 0 || end < 0) {
            const std::optional<QVariant> caret =
                m_client->property(m_object, textInterface, QStringLiteral("CaretOffset"));
            if (!caret || caret->toLongLong() < 0) {
                return std::nullopt;
            }
            start = end = caret->toLongLong();
        }
        if (end < start) {
            std::swap(start, end);
        }
        m_rawSelection = {start, end};
        const qint64 location = toScalars(start);
        m_range = Range {location, toScalars(end) - location};
        return m_range;
    }

private:
    // Reads the element's kind and, for a text element, its whole text.
    void loadText()
    {
        if (m_textLoaded) {
            return;
        }
        m_textLoaded = true;
        if (!m_client->interfaces(m_object).contains(textInterface)) {
            return;
        }
        if (!m_role) {
            m_role = m_client->role(m_object);
        }
        const std::optional<quint64> states = m_client->states(m_object);
        const bool editable = states && hasState(*states, ATSPI_STATE_EDITABLE);
        // Labels, links and documents also carry text, but only fields have a value to dictate
        // into.
        static const QList<uint> textRoles = {
            uint(ATSPI_ROLE_TEXT), uint(ATSPI_ROLE_ENTRY), uint(ATSPI_ROLE_TERMINAL),
            uint(ATSPI_ROLE_DOCUMENT_TEXT), uint(ATSPI_ROLE_PASSWORD_TEXT)};
        if (!editable && !(m_role && textRoles.contains(*m_role))) {
            return;
        }
        m_isText = true;
        const std::optional<QVariant> count =
            m_client->property(m_object, textInterface, QStringLiteral("CharacterCount"));
        if (!count || count->toLongLong() < 0) {
            return;
        }
        const qint64 characters = count->toLongLong();
        if (characters == 0) {
            m_text = QString();
            return;
        }
        const auto reply = m_client->request(m_object, textInterface, QStringLiteral("GetText"),
                                             {0, int(std::min<qint64>(characters, INT_MAX))});
        if (!reply || reply->isEmpty()) {
            return;
        }
        m_text = reply->constFirst().toString();
        m_utf16 = AtspiAccessibility::countsUtf16CodeUnits(*m_text, characters);
    }

    // An offset in the element's own units as Unicode scalars into its text.
    qint64 toScalars(qint64 offset) const
    {
        if (!m_text) {
            return offset;
        }
        if (m_utf16) {
            return Unicode::scalarOffsetForUtf16Offset(*m_text, offset);
        }
        return std::clamp<qint64>(offset, 0, Unicode::scalarCount(*m_text));
    }

    std::shared_ptr<AtspiAccessibility::Client> m_client;
    ObjectRef m_object;
    std::optional<uint> m_role;
    bool m_textLoaded = false;
    bool m_isText = false;
    std::optional<QString> m_text;
    bool m_utf16 = false;
    bool m_rangeLoaded = false;
    std::optional<Range> m_range;
    std::pair<qint64, qint64> m_rawSelection {0, 0};
};

} // namespace

AtspiAccessibility::AtspiAccessibility()
    : m_deadline(QDeadlineTimer::Forever)
{ }

AtspiAccessibility::AtspiAccessibility(std::chrono::milliseconds budget)
    : m_deadline(budget)
{ }

AtspiAccessibility::~AtspiAccessibility() = default;

std::optional<int> AtspiAccessibility::sessionBusTimeout()
{
    const std::optional<int> timeout = requestTimeout(m_deadline);
    if (!timeout) {
        m_timedOut = true;
    }
    return timeout;
}

bool AtspiAccessibility::isTrusted()
{
    const std::optional<int> timeout = sessionBusTimeout();
    if (!timeout) {
        return false;
    }
    const QDBusMessage reply =
        call(QDBusConnection::sessionBus(), a11yBusService, a11yBusPath, propertiesInterface,
             QStringLiteral("GetAll"), {statusInterface}, *timeout);
    if (isTimeout(reply)) {
        m_timedOut = true;
    }
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return false;
    }
    const QVariantMap status = qdbus_cast<QVariantMap>(reply.arguments().constFirst());
    const bool enabled = status.value(QStringLiteral("IsEnabled")).toBool()
        || status.value(QStringLiteral("ScreenReaderEnabled")).toBool();
    if (enabled && !m_client) {
        m_client = std::make_shared<Client>(m_deadline);
    }
    return enabled && m_client->isConnected();
}

void AtspiAccessibility::requestAccessibilityTree(const FrontmostApplication &)
{
    const std::optional<int> timeout = sessionBusTimeout();
    if (!timeout) {
        return;
    }
    const QDBusMessage reply = call(
        QDBusConnection::sessionBus(), a11yBusService, a11yBusPath, propertiesInterface,
        QStringLiteral("Set"),
        {statusInterface, QStringLiteral("IsEnabled"), QVariant::fromValue(QDBusVariant(true))},
        *timeout);
    if (isTimeout(reply)) {
        m_timedOut = true;
    }
}

std::optional<QString>
AtspiAccessibility::focusedWindowTitle(const FrontmostApplication &application)
{
    if (!m_client || !application.processIdentifier) {
        return std::nullopt;
    }
    for (const ObjectRef &candidate : m_client->applications()) {
        if (m_client->processID(candidate.service) != application.processIdentifier) {
            continue;
        }
        if (const std::optional<ObjectRef> window = m_client->activeWindow(candidate)) {
            const std::optional<QVariant> name =
                m_client->property(*window, accessibleInterface, QStringLiteral("Name"));
            if (name) {
                return name->toString();
            }
        }
    }
    return std::nullopt;
}

std::unique_ptr<AccessibilityElement>
AtspiAccessibility::focusedElement(const std::optional<FrontmostApplication> &application)
{
    if (!m_client) {
        return nullptr;
    }
    QDeadlineTimer deadline(searchBudgetMs);
    if (!m_deadline.isForever() && m_deadline.deadlineNSecs() < deadline.deadlineNSecs()) {
        deadline = m_deadline;
    }
    QList<ObjectRef> frontmost;
    QList<ObjectRef> others;
    for (const ObjectRef &candidate : m_client->applications()) {
        const bool isFrontmost = application && application->processIdentifier
            && m_client->processID(candidate.service) == application->processIdentifier;
        (isFrontmost ? frontmost : others).append(candidate);
    }
    // The frontmost application when it is on the bus; otherwise (it has no accessibility, or its
    // process id is not ours to compare, as in a sandbox) whichever application has the active
    // window.
    const QList<ObjectRef> &candidates = frontmost.isEmpty() ? others : frontmost;
    for (const ObjectRef &candidate : candidates) {
        if (deadline.hasExpired()) {
            m_client->noteTimeout();
            break;
        }
        const std::optional<ObjectRef> window = m_client->activeWindow(candidate);
        if (!window) {
            continue;
        }
        if (const std::optional<ObjectRef> focused = m_client->focusedBelow(*window, deadline)) {
            return std::make_unique<AtspiElement>(m_client, *focused);
        }
    }
    return nullptr;
}

bool AtspiAccessibility::timedOut()
{
    return m_timedOut || (m_client && m_client->timedOut());
}

bool AtspiAccessibility::countsUtf16CodeUnits(const QString &text, qint64 characterCount)
{
    return text.size() == characterCount && Unicode::scalarCount(text) != characterCount;
}
