#include "Platform/X11/X11Pasteboard.h"

#include <QElapsedTimer>
#include <QFuture>
#include <QHash>
#include <QPromise>
#include <QSocketNotifier>
#include <QStringList>
#include <QTimer>

#include <QCoro/QCoroFuture>

#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <algorithm>
#include <atomic>
#include <coroutine>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace {

using Snapshot = Pasteboard::Snapshot;
using Item = Pasteboard::Item;
using Entry = Pasteboard::Entry;
using ReadPromise = QPromise<std::optional<Snapshot>>;

struct FreeDeleter
{
    void operator()(void *pointer) const { std::free(pointer); }
};
template<typename T>
using Reply = std::unique_ptr<T, FreeDeleter>;
using Event = std::unique_ptr<xcb_generic_event_t, FreeDeleter>;

// How long an owner gets to answer one conversion (or to deliver one INCR chunk). Conversions of
// one read run side by side; each answer from the owner gives the others this long again, so an
// owner that works through them one at a time is not cut off.
constexpr int conversionTimeoutMs = 1000;
// Conversions of one read that run at once, each into a property of its own. Every target is a
// round trip to the owner: side by side, an owner with many targets answers in about the time of
// its slowest one rather than of all of them added up.
constexpr qsizetype parallelConversions = 8;
// An INCR transfer to a requestor that stops taking chunks is dropped after this long.
constexpr int transferIdleMs = 5000;
// Largest property written in one piece; larger data goes by INCR in pieces of this size.
constexpr qsizetype largestPiece = 256 * 1024;

// One wait for an event matching a predicate, with a time-out.
struct EventWait
{
    std::function<bool(const xcb_generic_event_t *)> match;
    // Waits of one read share a group: an event for one of them shows the owner is still at work.
    quint64 group = 0;
    std::coroutine_handle<> handle;
    // A copy of the matched event; empty after a time-out.
    QByteArray event;
    QTimer timer;
    bool done = false;
};

// A property's value as read.
struct Property
{
    xcb_atom_t type = XCB_ATOM_NONE;
    int format = 8;
    QByteArray data;
};

// An INCR transfer of our data to a requestor.
struct Transfer
{
    xcb_window_t requestor = XCB_WINDOW_NONE;
    xcb_atom_t property = XCB_ATOM_NONE;
    xcb_atom_t type = XCB_ATOM_NONE;
    int format = 8;
    QByteArray data;
    qsizetype offset = 0;
    // The empty piece that ends the transfer has been written.
    bool ended = false;
    qint64 lastActivity = 0;
};

} // namespace

class X11Pasteboard::Engine : public QObject
{
public:
    explicit Engine(xcb_connection_t *connection)
        : m_connection(connection)
    { }

    ~Engine() override
    {
        if (m_connection) {
            xcb_disconnect(m_connection);
        }
    }

    // Runs on the engine's thread.
    bool init();
    void shutdown();

    qint64 changeCount()
    {
        if (!connected()) {
            return m_changeCount;
        }
        sync();
        drain();
        return m_changeCount;
    }

    bool write(const Snapshot &items);
    void clear();
    void read(std::shared_ptr<ReadPromise> promise);

    std::atomic<qint64> contentReads {0};

private:
    class WaitAwaiter
    {
    public:
        WaitAwaiter(Engine *engine, quint64 group,
                    std::function<bool(const xcb_generic_event_t *)> match)
            : m_engine(engine)
            , m_wait(std::make_shared<EventWait>())
        {
            m_wait->match = std::move(match);
            m_wait->group = group;
        }
        bool await_ready() const { return !m_engine->connected(); }
        void await_suspend(std::coroutine_handle<> handle)
        {
            m_wait->handle = handle;
            m_engine->addWait(m_wait);
        }
        QByteArray await_resume() const { return m_wait->event; }

    private:
        Engine *m_engine;
        std::shared_ptr<EventWait> m_wait;
    };

    bool connected() const { return m_connection && !xcb_connection_has_error(m_connection); }

    xcb_atom_t atom(const QString &name);
    void internAll(const QStringList &names);
    QString atomName(xcb_atom_t atom);
    void nameAll(const QList<xcb_atom_t> &atoms);

    void sync();
    void scheduleDrain();
    void drain();
    void handle(const xcb_generic_event_t *event);
    void addWait(const std::shared_ptr<EventWait> &wait);
    void finishWait(const std::shared_ptr<EventWait> &wait, const xcb_generic_event_t *event);

    std::optional<xcb_timestamp_t> serverTime();
    xcb_window_t selectionOwner();
    std::optional<Property> getProperty(xcb_window_t window, xcb_atom_t property, bool remove);

    QCoro::Task<> runReads();
    QCoro::Task<std::optional<Snapshot>> readContent();
    xcb_atom_t readProperty(qsizetype index);
    QCoro::Task<> convertEach(const QList<xcb_atom_t> &targets,
                              QList<std::optional<Entry>> &entries, qsizetype &next,
                              xcb_atom_t property, quint64 group);
    QCoro::Task<std::optional<Entry>> convert(xcb_atom_t target, xcb_atom_t property,
                                              quint64 group);

    void onOwnerChange(const xcb_xfixes_selection_notify_event_t *event);
    void onSelectionRequest(const xcb_selection_request_event_t *request);
    bool serveTarget(xcb_window_t requestor, xcb_atom_t target, xcb_atom_t property);
    bool serveMultiple(xcb_window_t requestor, xcb_atom_t property);
    void onPropertyNotify(const xcb_property_notify_event_t *event);
    void sendPiece(Transfer &transfer);
    void dropIdleTransfers();
    void loseOwnership();
    void checkOwnership();

    xcb_connection_t *m_connection = nullptr;
    xcb_window_t m_window = XCB_WINDOW_NONE;
    uint8_t m_xfixesFirstEvent = 0;
    qsizetype m_pieceSize = largestPiece;
    QSocketNotifier *m_notifier = nullptr;
    bool m_drainScheduled = false;
    std::deque<Event> m_stash;
    QList<std::shared_ptr<EventWait>> m_waits;

    QHash<QString, xcb_atom_t> m_atoms;
    QHash<xcb_atom_t, QString> m_names;
    xcb_atom_t m_clipboard = XCB_ATOM_NONE;
    xcb_atom_t m_targets = XCB_ATOM_NONE;
    xcb_atom_t m_multiple = XCB_ATOM_NONE;
    xcb_atom_t m_timestamp = XCB_ATOM_NONE;
    xcb_atom_t m_incr = XCB_ATOM_NONE;
    xcb_atom_t m_atomPair = XCB_ATOM_NONE;
    // The properties conversions are delivered into, one per conversion running at once.
    QList<xcb_atom_t> m_readProperties;
    xcb_atom_t m_timeProperty = XCB_ATOM_NONE;
    QList<xcb_atom_t> m_metaTargets;

    qint64 m_changeCount = 0;
    // Ownership changes this process made and already counted: (owner, time).
    QList<QPair<xcb_window_t, xcb_timestamp_t>> m_ownChanges;

    bool m_owned = false;
    xcb_timestamp_t m_ownTime = 0;
    Item m_content;
    QList<xcb_atom_t> m_contentAtoms;

    std::deque<std::shared_ptr<ReadPromise>> m_reads;
    bool m_reading = false;
    quint64 m_lastGroup = 0;

    std::deque<Transfer> m_transfers;
    QTimer *m_transferTimer = nullptr;
    QElapsedTimer m_sinceStart;
};

namespace {

// The text types applications ask for, derived from UTF-8 plain text when an item lacks them.
Item withTextAliases(Item item)
{
    const auto text = std::find_if(item.cbegin(), item.cend(), [](const Entry &entry) {
        return entry.type == Pasteboard::plainTextType;
    });
    if (text == item.cend()) {
        return item;
    }
    const QByteArray utf8 = text->data;
    const auto has = [&item](const QString &type) {
        return std::any_of(item.cbegin(), item.cend(),
                           [&type](const Entry &entry) { return entry.type == type; });
    };
    Item aliases;
    if (!has(QStringLiteral("UTF8_STRING"))) {
        aliases.append({QStringLiteral("UTF8_STRING"), utf8, {}, 8});
    }
    if (!has(QStringLiteral("text/plain"))) {
        aliases.append({QStringLiteral("text/plain"), utf8, {}, 8});
    }
    if (!has(QStringLiteral("TEXT"))) {
        aliases.append({QStringLiteral("TEXT"), utf8, QStringLiteral("UTF8_STRING"), 8});
    }
    const QString decoded = QString::fromUtf8(utf8);
    const bool latin1 =
        std::all_of(decoded.cbegin(), decoded.cend(), [](QChar c) { return c.unicode() <= 0xff; });
    if (latin1 && !has(QStringLiteral("STRING"))) {
        aliases.append({QStringLiteral("STRING"), decoded.toLatin1(), {}, 8});
    }
    return item + aliases;
}

// X11 has one item: the entries of every item, each type once, the first occurrence winning.
Item merged(const Snapshot &items)
{
    Item result;
    for (const Item &item : items) {
        for (const Entry &entry : item) {
            const bool known =
                std::any_of(result.cbegin(), result.cend(),
                            [&entry](const Entry &e) { return e.type == entry.type; });
            if (!known && !entry.type.isEmpty()) {
                result.append(entry);
            }
        }
    }
    return result;
}

int validFormat(int bits)
{
    return bits == 16 || bits == 32 ? bits : 8;
}

} // namespace

bool X11Pasteboard::Engine::init()
{
    if (!connected()) {
        return false;
    }
    const xcb_query_extension_reply_t *xfixes =
        xcb_get_extension_data(m_connection, &xcb_xfixes_id);
    if (!xfixes || !xfixes->present) {
        return false;
    }
    m_xfixesFirstEvent = xfixes->first_event;
    Reply<xcb_xfixes_query_version_reply_t> version(xcb_xfixes_query_version_reply(
        m_connection, xcb_xfixes_query_version(m_connection, 5, 0), nullptr));
    if (!version || version->major_version < 1) {
        return false;
    }

    internAll({QStringLiteral("CLIPBOARD"), QStringLiteral("TARGETS"), QStringLiteral("MULTIPLE"),
               QStringLiteral("TIMESTAMP"), QStringLiteral("INCR"), QStringLiteral("ATOM_PAIR"),
               QStringLiteral("SAVE_TARGETS"), QStringLiteral("DELETE"),
               QStringLiteral("INSERT_SELECTION"), QStringLiteral("INSERT_PROPERTY"),
               QStringLiteral("_SONORVELLE_CLIPBOARD"), QStringLiteral("_SONORVELLE_TIME")});
    m_clipboard = atom(QStringLiteral("CLIPBOARD"));
    m_targets = atom(QStringLiteral("TARGETS"));
    m_multiple = atom(QStringLiteral("MULTIPLE"));
    m_timestamp = atom(QStringLiteral("TIMESTAMP"));
    m_incr = atom(QStringLiteral("INCR"));
    m_atomPair = atom(QStringLiteral("ATOM_PAIR"));
    m_readProperties = {atom(QStringLiteral("_SONORVELLE_CLIPBOARD"))};
    m_timeProperty = atom(QStringLiteral("_SONORVELLE_TIME"));
    m_metaTargets = {m_targets,
                     m_multiple,
                     m_timestamp,
                     atom(QStringLiteral("SAVE_TARGETS")),
                     atom(QStringLiteral("DELETE")),
                     atom(QStringLiteral("INSERT_SELECTION")),
                     atom(QStringLiteral("INSERT_PROPERTY"))};
    if (std::find(m_metaTargets.cbegin(), m_metaTargets.cend(), xcb_atom_t(XCB_ATOM_NONE))
        != m_metaTargets.cend()) {
        return false;
    }

    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
    m_window = xcb_generate_id(m_connection);
    const uint32_t values[] = {XCB_EVENT_MASK_PROPERTY_CHANGE};
    xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_window, screen->root, -1, -1, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_EVENT_MASK,
                      values);
    xcb_xfixes_select_selection_input(m_connection, m_window, m_clipboard,
                                      XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER
                                          | XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY
                                          | XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
    const qsizetype maximumRequest = qsizetype(xcb_get_maximum_request_length(m_connection)) * 4;
    m_pieceSize = std::clamp<qsizetype>(maximumRequest - 1024, 4096, largestPiece);
    sync();
    if (!connected()) {
        return false;
    }

    m_sinceStart.start();
    m_transferTimer = new QTimer(this);
    m_transferTimer->setInterval(1000);
    QObject::connect(m_transferTimer, &QTimer::timeout, this, [this] { dropIdleTransfers(); });
    m_notifier =
        new QSocketNotifier(xcb_get_file_descriptor(m_connection), QSocketNotifier::Read, this);
    QObject::connect(m_notifier, &QSocketNotifier::activated, this, [this] { drain(); });
    drain();
    return true;
}

void X11Pasteboard::Engine::shutdown()
{
    delete m_notifier;
    m_notifier = nullptr;
    if (m_transferTimer) {
        m_transferTimer->stop();
    }
    // Waiting readers get their answer; their coroutines are abandoned with the thread.
    for (const auto &wait : std::as_const(m_waits)) {
        wait->done = true;
        wait->timer.stop();
    }
    m_waits.clear();
    for (const auto &promise : m_reads) {
        promise->addResult(std::nullopt);
        promise->finish();
    }
    m_reads.clear();
    if (connected() && m_window != XCB_WINDOW_NONE) {
        xcb_destroy_window(m_connection, m_window);
        xcb_flush(m_connection);
    }
}

xcb_atom_t X11Pasteboard::Engine::atom(const QString &name)
{
    if (const auto it = m_atoms.constFind(name); it != m_atoms.cend()) {
        return *it;
    }
    internAll({name});
    return m_atoms.value(name, XCB_ATOM_NONE);
}

void X11Pasteboard::Engine::internAll(const QStringList &names)
{
    QList<QPair<QString, xcb_intern_atom_cookie_t>> cookies;
    for (const QString &name : names) {
        if (!m_atoms.contains(name)) {
            const QByteArray latin1 = name.toLatin1();
            cookies.append(
                {name,
                 xcb_intern_atom(m_connection, 0, quint16(latin1.size()), latin1.constData())});
        }
    }
    for (const auto &[name, cookie] : std::as_const(cookies)) {
        Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(m_connection, cookie, nullptr));
        if (reply && reply->atom != XCB_ATOM_NONE) {
            m_atoms.insert(name, reply->atom);
            m_names.insert(reply->atom, name);
        }
    }
    scheduleDrain();
}

QString X11Pasteboard::Engine::atomName(xcb_atom_t atom)
{
    if (atom == XCB_ATOM_NONE) {
        return {};
    }
    nameAll({atom});
    return m_names.value(atom);
}

void X11Pasteboard::Engine::nameAll(const QList<xcb_atom_t> &atoms)
{
    QList<QPair<xcb_atom_t, xcb_get_atom_name_cookie_t>> cookies;
    for (const xcb_atom_t atom : atoms) {
        if (atom != XCB_ATOM_NONE && !m_names.contains(atom)) {
            cookies.append({atom, xcb_get_atom_name(m_connection, atom)});
        }
    }
    for (const auto &[atom, cookie] : std::as_const(cookies)) {
        Reply<xcb_get_atom_name_reply_t> reply(
            xcb_get_atom_name_reply(m_connection, cookie, nullptr));
        if (reply) {
            const QString name = QString::fromLatin1(xcb_get_atom_name_name(reply.get()),
                                                     xcb_get_atom_name_name_length(reply.get()));
            m_names.insert(atom, name);
            m_atoms.insert(name, atom);
        }
    }
    scheduleDrain();
}

void X11Pasteboard::Engine::sync()
{
    // A round trip: every event the server generated before it is in xcb's queue afterwards.
    std::free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
    scheduleDrain();
}

void X11Pasteboard::Engine::scheduleDrain()
{
    // Events that xcb read while waiting for a reply sit in its queue without waking the socket
    // notifier again.
    if (m_drainScheduled) {
        return;
    }
    m_drainScheduled = true;
    QMetaObject::invokeMethod(
        this, [this] { drain(); }, Qt::QueuedConnection);
}

void X11Pasteboard::Engine::drain()
{
    m_drainScheduled = false;
    if (!m_connection) {
        return;
    }
    while (!m_stash.empty()) {
        const Event event = std::move(m_stash.front());
        m_stash.pop_front();
        handle(event.get());
    }
    while (xcb_generic_event_t *raw = xcb_poll_for_event(m_connection)) {
        const Event event(raw);
        handle(event.get());
    }
    if (!connected()) {
        // The display went away: nobody will answer the waits any more.
        const auto waits = m_waits;
        for (const auto &wait : waits) {
            finishWait(wait, nullptr);
        }
        if (m_notifier) {
            m_notifier->setEnabled(false);
        }
    }
}

void X11Pasteboard::Engine::handle(const xcb_generic_event_t *event)
{
    const uint8_t type = event->response_type & 0x7f;
    if (type == 0) {
        // An error: a requestor window that vanished during a transfer, for example.
        return;
    }
    if (type == m_xfixesFirstEvent + XCB_XFIXES_SELECTION_NOTIFY) {
        onOwnerChange(reinterpret_cast<const xcb_xfixes_selection_notify_event_t *>(event));
        return;
    }
    switch (type) {
    case XCB_SELECTION_REQUEST:
        onSelectionRequest(reinterpret_cast<const xcb_selection_request_event_t *>(event));
        return;
    case XCB_SELECTION_CLEAR: {
        const auto *clear = reinterpret_cast<const xcb_selection_clear_event_t *>(event);
        if (clear->selection == m_clipboard && clear->owner == m_window) {
            checkOwnership();
        }
        return;
    }
    case XCB_PROPERTY_NOTIFY:
        onPropertyNotify(reinterpret_cast<const xcb_property_notify_event_t *>(event));
        break;
    default:
        break;
    }
    const auto waits = m_waits;
    for (const auto &wait : waits) {
        if (!wait->done && wait->match(event)) {
            finishWait(wait, event);
            for (const auto &other : std::as_const(m_waits)) {
                if (other->group == wait->group) {
                    other->timer.start(conversionTimeoutMs);
                }
            }
            return;
        }
    }
}

void X11Pasteboard::Engine::addWait(const std::shared_ptr<EventWait> &wait)
{
    m_waits.append(wait);
    wait->timer.setSingleShot(true);
    std::weak_ptr<EventWait> weak = wait;
    QObject::connect(&wait->timer, &QTimer::timeout, this, [this, weak] {
        if (auto strong = weak.lock()) {
            finishWait(strong, nullptr);
        }
    });
    wait->timer.start(conversionTimeoutMs);
    scheduleDrain();
}

void X11Pasteboard::Engine::finishWait(const std::shared_ptr<EventWait> &wait,
                                       const xcb_generic_event_t *event)
{
    if (wait->done) {
        return;
    }
    wait->done = true;
    wait->timer.stop();
    if (event) {
        wait->event = QByteArray(reinterpret_cast<const char *>(event), 32);
    }
    m_waits.removeOne(wait);
    // Resumed from the event loop, never from inside drain().
    QMetaObject::invokeMethod(
        this, [wait] { wait->handle.resume(); }, Qt::QueuedConnection);
}

std::optional<xcb_timestamp_t> X11Pasteboard::Engine::serverTime()
{
    // ICCCM: ownership is taken with a real server time, which a property change reports.
    xcb_change_property(m_connection, XCB_PROP_MODE_APPEND, m_window, m_timeProperty,
                        XCB_ATOM_INTEGER, 32, 0, nullptr);
    xcb_flush(m_connection);
    while (xcb_generic_event_t *raw = xcb_wait_for_event(m_connection)) {
        Event event(raw);
        if ((raw->response_type & 0x7f) == XCB_PROPERTY_NOTIFY) {
            const auto *notify = reinterpret_cast<const xcb_property_notify_event_t *>(raw);
            if (notify->window == m_window && notify->atom == m_timeProperty) {
                scheduleDrain();
                return notify->time;
            }
        }
        m_stash.push_back(std::move(event));
    }
    scheduleDrain();
    return std::nullopt;
}

xcb_window_t X11Pasteboard::Engine::selectionOwner()
{
    Reply<xcb_get_selection_owner_reply_t> reply(xcb_get_selection_owner_reply(
        m_connection, xcb_get_selection_owner(m_connection, m_clipboard), nullptr));
    scheduleDrain();
    return reply ? reply->owner : xcb_window_t(XCB_WINDOW_NONE);
}

std::optional<Property> X11Pasteboard::Engine::getProperty(xcb_window_t window, xcb_atom_t property,
                                                           bool remove)
{
    Reply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(m_connection,
                               xcb_get_property(m_connection, remove, window, property,
                                                XCB_GET_PROPERTY_TYPE_ANY, 0, 0x1fffffff),
                               nullptr));
    scheduleDrain();
    if (!reply || reply->bytes_after != 0) {
        return std::nullopt;
    }
    Property result;
    result.type = reply->type;
    result.format = reply->format == 0 ? 8 : reply->format;
    result.data = QByteArray(static_cast<const char *>(xcb_get_property_value(reply.get())),
                             xcb_get_property_value_length(reply.get()));
    return result;
}

void X11Pasteboard::Engine::read(std::shared_ptr<ReadPromise> promise)
{
    m_reads.push_back(std::move(promise));
    if (!m_reading) {
        runReads();
    }
}

QCoro::Task<> X11Pasteboard::Engine::runReads()
{
    // One read at a time: they share the property the owner writes into.
    m_reading = true;
    while (!m_reads.empty()) {
        std::optional<Snapshot> result = co_await readContent();
        if (m_reads.empty()) {
            break; // shut down meanwhile
        }
        const std::shared_ptr<ReadPromise> promise = m_reads.front();
        m_reads.pop_front();
        promise->addResult(std::move(result));
        promise->finish();
    }
    m_reading = false;
}

QCoro::Task<std::optional<Snapshot>> X11Pasteboard::Engine::readContent()
{
    if (!connected()) {
        co_return std::nullopt;
    }
    const xcb_window_t owner = selectionOwner();
    if (owner == XCB_WINDOW_NONE) {
        co_return Snapshot {};
    }
    if (owner == m_window) {
        if (!m_owned) {
            co_return std::nullopt;
        }
        co_return Snapshot {m_content};
    }
    const quint64 group = ++m_lastGroup;
    const std::optional<Entry> targetList = co_await convert(m_targets, readProperty(0), group);
    if (!targetList || targetList->unitBits != 32) {
        co_return std::nullopt;
    }
    QList<xcb_atom_t> targets;
    const qsizetype count = targetList->data.size() / qsizetype(sizeof(xcb_atom_t));
    for (qsizetype i = 0; i < count; ++i) {
        xcb_atom_t target = XCB_ATOM_NONE;
        std::memcpy(&target, targetList->data.constData() + i * qsizetype(sizeof(xcb_atom_t)),
                    sizeof(xcb_atom_t));
        if (target != XCB_ATOM_NONE && !m_metaTargets.contains(target)
            && !targets.contains(target)) {
            targets.append(target);
        }
    }
    nameAll(targets);
    QList<std::optional<Entry>> entries(targets.size());
    qsizetype next = 0;
    std::vector<QCoro::Task<>> conversions;
    const qsizetype lanes = std::min(targets.size(), parallelConversions);
    for (qsizetype lane = 0; lane < lanes; ++lane) {
        const xcb_atom_t property = readProperty(lane);
        if (property == XCB_ATOM_NONE) {
            break;
        }
        conversions.push_back(convertEach(targets, entries, next, property, group));
    }
    for (const QCoro::Task<> &conversion : conversions) {
        co_await conversion;
    }
    // In the order the owner listed its targets, whichever answered first.
    Item item;
    for (qsizetype i = 0; i < targets.size(); ++i) {
        std::optional<Entry> &entry = entries[i];
        if (!entry) {
            continue;
        }
        entry->type = m_names.value(targets.at(i));
        if (entry->dataType == entry->type) {
            entry->dataType.clear();
        }
        if (!entry->type.isEmpty()) {
            item.append(*entry);
        }
    }
    if (selectionOwner() != owner) {
        // Someone copied while we read: the entries may come from two different contents.
        co_return std::nullopt;
    }
    co_return Snapshot {item};
}

xcb_atom_t X11Pasteboard::Engine::readProperty(qsizetype index)
{
    if (index >= m_readProperties.size()) {
        QStringList names;
        for (qsizetype i = m_readProperties.size(); i < parallelConversions; ++i) {
            names.append(QStringLiteral("_SONORVELLE_CLIPBOARD_%1").arg(i));
        }
        internAll(names);
        for (const QString &name : std::as_const(names)) {
            m_readProperties.append(m_atoms.value(name, XCB_ATOM_NONE));
        }
    }
    return m_readProperties.value(index, XCB_ATOM_NONE);
}

QCoro::Task<> X11Pasteboard::Engine::convertEach(const QList<xcb_atom_t> &targets,
                                                 QList<std::optional<Entry>> &entries,
                                                 qsizetype &next, xcb_atom_t property,
                                                 quint64 group)
{
    // One lane: takes the next target nobody has asked for yet until none is left.
    while (next < targets.size()) {
        const qsizetype index = next++;
        entries[index] = co_await convert(targets.at(index), property, group);
    }
}

QCoro::Task<std::optional<Entry>> X11Pasteboard::Engine::convert(xcb_atom_t target,
                                                                 xcb_atom_t property, quint64 group)
{
    xcb_delete_property(m_connection, m_window, property);
    xcb_convert_selection(m_connection, m_window, m_clipboard, target, property, XCB_CURRENT_TIME);
    xcb_flush(m_connection);
    const xcb_window_t window = m_window;
    const xcb_atom_t selection = m_clipboard;
    const QByteArray raw = co_await WaitAwaiter(this, group, [=](const xcb_generic_event_t *event) {
        if ((event->response_type & 0x7f) != XCB_SELECTION_NOTIFY) {
            return false;
        }
        const auto *notify = reinterpret_cast<const xcb_selection_notify_event_t *>(event);
        // A refusal names no property.
        return notify->requestor == window && notify->selection == selection
            && notify->target == target
            && (notify->property == property || notify->property == XCB_ATOM_NONE);
    });
    if (raw.isEmpty()) {
        co_return std::nullopt;
    }
    xcb_selection_notify_event_t notify;
    std::memcpy(&notify, raw.constData(), sizeof(notify));
    if (notify.property == XCB_ATOM_NONE) {
        co_return std::nullopt;
    }
    std::optional<Property> value = getProperty(m_window, property, true);
    if (!value) {
        co_return std::nullopt;
    }
    if (value->type == m_incr) {
        // Deleting the INCR property asked the owner for the first piece; an empty piece ends.
        Property whole;
        for (;;) {
            const QByteArray next =
                co_await WaitAwaiter(this, group, [=](const xcb_generic_event_t *e) {
                    if ((e->response_type & 0x7f) != XCB_PROPERTY_NOTIFY) {
                        return false;
                    }
                    const auto *change = reinterpret_cast<const xcb_property_notify_event_t *>(e);
                    return change->window == window && change->atom == property
                        && change->state == XCB_PROPERTY_NEW_VALUE;
                });
            if (next.isEmpty()) {
                co_return std::nullopt;
            }
            std::optional<Property> piece = getProperty(m_window, property, true);
            if (!piece) {
                co_return std::nullopt;
            }
            if (piece->data.isEmpty()) {
                break;
            }
            whole.type = piece->type;
            whole.format = piece->format;
            whole.data += piece->data;
        }
        value = whole;
    }
    co_return Entry {{}, value->data, atomName(value->type), value->format};
}

bool X11Pasteboard::Engine::write(const Snapshot &items)
{
    if (!connected()) {
        return false;
    }
    const Item item = withTextAliases(merged(items));
    QStringList names;
    for (const Entry &entry : item) {
        names.append(entry.type);
        if (!entry.dataType.isEmpty()) {
            names.append(entry.dataType);
        }
    }
    internAll(names);
    QList<xcb_atom_t> atoms;
    for (const Entry &entry : item) {
        atoms.append(m_atoms.value(entry.type, XCB_ATOM_NONE));
    }

    const std::optional<xcb_timestamp_t> time = serverTime();
    if (!time) {
        return false;
    }
    // Changes made before this one are counted before it, not after.
    drain();
    m_ownChanges.append({m_window, *time});
    xcb_set_selection_owner(m_connection, m_window, m_clipboard, *time);
    if (selectionOwner() != m_window) {
        m_ownChanges.removeOne(QPair<xcb_window_t, xcb_timestamp_t>(m_window, *time));
        return false;
    }
    while (m_ownChanges.size() > 16) {
        m_ownChanges.removeFirst();
    }
    m_owned = true;
    m_ownTime = *time;
    m_content = item;
    m_contentAtoms = atoms;
    contentReads = 0;
    ++m_changeCount;
    return true;
}

void X11Pasteboard::Engine::clear()
{
    if (!connected()) {
        return;
    }
    const std::optional<xcb_timestamp_t> time = serverTime();
    if (!time) {
        return;
    }
    drain();
    m_ownChanges.append({XCB_WINDOW_NONE, *time});
    xcb_set_selection_owner(m_connection, XCB_WINDOW_NONE, m_clipboard, *time);
    sync();
    loseOwnership();
    ++m_changeCount;
}

void X11Pasteboard::Engine::loseOwnership()
{
    m_owned = false;
    m_content.clear();
    m_contentAtoms.clear();
}

void X11Pasteboard::Engine::onOwnerChange(const xcb_xfixes_selection_notify_event_t *event)
{
    if (event->selection != m_clipboard) {
        return;
    }
    const QPair<xcb_window_t, xcb_timestamp_t> change(event->owner, event->selection_timestamp);
    if (m_ownChanges.removeOne(change)) {
        return; // counted when it was made
    }
    ++m_changeCount;
    checkOwnership();
}

void X11Pasteboard::Engine::checkOwnership()
{
    // The event may be older than our latest write (it waited in the queue while we took the
    // selection): only the server knows whether we still own it.
    if (m_owned && selectionOwner() != m_window) {
        loseOwnership();
    }
}

void X11Pasteboard::Engine::onSelectionRequest(const xcb_selection_request_event_t *request)
{
    xcb_selection_notify_event_t notify {};
    notify.response_type = XCB_SELECTION_NOTIFY;
    notify.time = request->time;
    notify.requestor = request->requestor;
    notify.selection = request->selection;
    notify.target = request->target;
    notify.property = XCB_ATOM_NONE;

    // ICCCM lets an owner refuse requests stamped before it took the selection; many clients
    // (Qt among them) stamp requests with the time of the last event they saw, which can be
    // older than ours, so every request gets the current content.
    if (request->selection == m_clipboard && request->owner == m_window && m_owned) {
        // Obsolete requestors leave the property out; the target then names it.
        const xcb_atom_t property =
            request->property != XCB_ATOM_NONE ? request->property : request->target;
        if (request->target == m_multiple) {
            if (request->property != XCB_ATOM_NONE
                && serveMultiple(request->requestor, request->property)) {
                notify.property = request->property;
            }
        } else if (serveTarget(request->requestor, request->target, property)) {
            notify.property = property;
        }
    }
    xcb_send_event(m_connection, 0, request->requestor, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char *>(&notify));
    xcb_flush(m_connection);
}

bool X11Pasteboard::Engine::serveTarget(xcb_window_t requestor, xcb_atom_t target,
                                        xcb_atom_t property)
{
    if (target == m_targets) {
        QList<xcb_atom_t> list {m_targets, m_timestamp, m_multiple};
        for (const xcb_atom_t atom : std::as_const(m_contentAtoms)) {
            if (atom != XCB_ATOM_NONE && !list.contains(atom)) {
                list.append(atom);
            }
        }
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, requestor, property, XCB_ATOM_ATOM,
                            32, uint32_t(list.size()), list.constData());
        return true;
    }
    if (target == m_timestamp) {
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, requestor, property,
                            XCB_ATOM_INTEGER, 32, 1, &m_ownTime);
        return true;
    }
    const qsizetype index = m_contentAtoms.indexOf(target);
    if (index < 0) {
        return false;
    }
    const Entry &entry = m_content.at(index);
    ++contentReads;
    const int format = validFormat(entry.unitBits);
    const xcb_atom_t type = entry.dataType.isEmpty() ? target : atom(entry.dataType);
    if (entry.data.size() > m_pieceSize) {
        // Too large for one property: INCR, one piece each time the requestor deletes the last.
        const uint32_t values[] = {XCB_EVENT_MASK_PROPERTY_CHANGE};
        xcb_change_window_attributes(m_connection, requestor, XCB_CW_EVENT_MASK, values);
        const uint32_t size = uint32_t(entry.data.size());
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, requestor, property, m_incr, 32, 1,
                            &size);
        Transfer transfer;
        transfer.requestor = requestor;
        transfer.property = property;
        transfer.type = type;
        transfer.format = format;
        transfer.data = entry.data;
        transfer.lastActivity = m_sinceStart.elapsed();
        m_transfers.push_back(std::move(transfer));
        m_transferTimer->start();
        return true;
    }
    const int unit = format / 8;
    xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, requestor, property, type,
                        uint8_t(format), uint32_t(entry.data.size() / unit),
                        entry.data.constData());
    return true;
}

bool X11Pasteboard::Engine::serveMultiple(xcb_window_t requestor, xcb_atom_t property)
{
    const std::optional<Property> pairs = getProperty(requestor, property, false);
    if (!pairs || pairs->format != 32) {
        return false;
    }
    const qsizetype count = pairs->data.size() / qsizetype(2 * sizeof(xcb_atom_t));
    QList<xcb_atom_t> answer(count * 2);
    std::memcpy(answer.data(), pairs->data.constData(), size_t(count) * 2 * sizeof(xcb_atom_t));
    for (qsizetype i = 0; i < count; ++i) {
        const xcb_atom_t target = answer.at(2 * i);
        const xcb_atom_t targetProperty = answer.at(2 * i + 1);
        if (target == m_multiple || targetProperty == XCB_ATOM_NONE
            || !serveTarget(requestor, target, targetProperty)) {
            answer[2 * i + 1] = XCB_ATOM_NONE;
        }
    }
    xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, requestor, property, m_atomPair, 32,
                        uint32_t(answer.size()), answer.constData());
    return true;
}

void X11Pasteboard::Engine::onPropertyNotify(const xcb_property_notify_event_t *event)
{
    if (event->state != XCB_PROPERTY_DELETE) {
        return;
    }
    for (auto it = m_transfers.begin(); it != m_transfers.end(); ++it) {
        if (it->requestor == event->window && it->property == event->atom) {
            if (it->ended) {
                // The requestor took the empty piece: the transfer is complete.
                const xcb_window_t requestor = it->requestor;
                m_transfers.erase(it);
                const bool stillTalking = std::any_of(
                    m_transfers.cbegin(), m_transfers.cend(),
                    [requestor](const Transfer &t) { return t.requestor == requestor; });
                if (!stillTalking) {
                    const uint32_t none[] = {XCB_EVENT_MASK_NO_EVENT};
                    xcb_change_window_attributes(m_connection, requestor, XCB_CW_EVENT_MASK, none);
                    xcb_flush(m_connection);
                }
            } else {
                sendPiece(*it);
            }
            return;
        }
    }
}

void X11Pasteboard::Engine::sendPiece(Transfer &transfer)
{
    // Each piece replaces the one the requestor just deleted; after the last comes an empty one.
    const int unit = transfer.format / 8;
    const qsizetype length =
        std::min(transfer.data.size() - transfer.offset, m_pieceSize / unit * unit);
    xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, transfer.requestor, transfer.property,
                        transfer.type, uint8_t(transfer.format), uint32_t(length / unit),
                        transfer.data.constData() + transfer.offset);
    transfer.offset += length;
    transfer.ended = length == 0;
    transfer.lastActivity = m_sinceStart.elapsed();
    xcb_flush(m_connection);
}

void X11Pasteboard::Engine::dropIdleTransfers()
{
    const qint64 now = m_sinceStart.elapsed();
    std::erase_if(m_transfers,
                  [now](const Transfer &t) { return now - t.lastActivity > transferIdleMs; });
    if (m_transfers.empty()) {
        m_transferTimer->stop();
    }
}

// ---------------------------------------------------------------------------------------------

X11Pasteboard::X11Pasteboard()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        return;
    }
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return;
    }
    auto *engine = new Engine(connection);
    engine->moveToThread(&m_thread);
    m_thread.setObjectName(QStringLiteral("clipboard"));
    m_thread.start();
    bool ready = false;
    QMetaObject::invokeMethod(
        engine, [engine, &ready] { ready = engine->init(); }, Qt::BlockingQueuedConnection);
    m_engine = engine;
    if (!ready) {
        QMetaObject::invokeMethod(
            engine, [engine] { engine->shutdown(); }, Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
        delete engine;
        m_engine = nullptr;
    }
}

X11Pasteboard::~X11Pasteboard()
{
    if (!m_engine) {
        return;
    }
    Engine *engine = m_engine;
    QMetaObject::invokeMethod(
        engine, [engine] { engine->shutdown(); }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
    delete engine;
}

qint64 X11Pasteboard::changeCount()
{
    if (!m_engine) {
        return 0;
    }
    Engine *engine = m_engine;
    qint64 count = 0;
    QMetaObject::invokeMethod(
        engine, [engine, &count] { count = engine->changeCount(); }, Qt::BlockingQueuedConnection);
    return count;
}

QCoro::Task<std::optional<Pasteboard::Snapshot>> X11Pasteboard::readItems()
{
    if (!m_engine) {
        co_return std::nullopt;
    }
    auto promise = std::make_shared<ReadPromise>();
    QFuture<std::optional<Snapshot>> future = promise->future();
    promise->start();
    Engine *engine = m_engine;
    QMetaObject::invokeMethod(
        engine, [engine, promise] { engine->read(promise); }, Qt::QueuedConnection);
    co_await future;
    if (future.resultCount() == 0) {
        co_return std::nullopt;
    }
    co_return future.result();
}

void X11Pasteboard::clearContents()
{
    if (!m_engine) {
        return;
    }
    Engine *engine = m_engine;
    QMetaObject::invokeMethod(
        engine, [engine] { engine->clear(); }, Qt::BlockingQueuedConnection);
}

bool X11Pasteboard::writeItems(const Snapshot &items)
{
    if (!m_engine) {
        return false;
    }
    Engine *engine = m_engine;
    bool written = false;
    QMetaObject::invokeMethod(
        engine, [engine, &items, &written] { written = engine->write(items); },
        Qt::BlockingQueuedConnection);
    return written;
}

qint64 X11Pasteboard::contentReadCount()
{
    return m_engine ? m_engine->contentReads.load() : 0;
}
