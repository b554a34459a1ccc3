#include "Core/Insertion/PasteInserter.h"

#include "Base/Async.h"
#include "Base/CancelledError.h"
#include "Base/Unicode.h"
#include "Core/DebugLog.h"
#include "Core/DictationTrace.h"
#include "Core/Insertion/ModifierRelease.h"

#include <algorithm>
#include <coroutine>
#include <memory>
#include <utility>

namespace PasteInserter {

namespace {

using Snapshot = Pasteboard::Snapshot;
using Key = SyntheticKeyboard::Key;

// The snapshot race: the clipboard read and the deadline, whichever comes first.
struct Race
{
    ResumeOnce once;
    std::optional<Snapshot> result;
    bool finished = false;
    std::coroutine_handle<> waiter;
    CancellationToken deadlineToken;
};

void finishRace(const std::shared_ptr<Race> &race, std::optional<Snapshot> result)
{
    if (!race->once.claim()) {
        return;
    }
    race->result = std::move(result);
    race->finished = true;
    if (auto waiter = std::exchange(race->waiter, {})) {
        waiter.resume();
    }
}

class RaceAwaiter
{
public:
    explicit RaceAwaiter(std::shared_ptr<Race> race)
        : m_race(std::move(race))
    { }
    bool await_ready() const { return m_race->finished; }
    void await_suspend(std::coroutine_handle<> handle) { m_race->waiter = handle; }
    std::optional<Snapshot> await_resume() { return std::move(m_race->result); }

private:
    std::shared_ptr<Race> m_race;
};

using Read = SharedTask<std::optional<Snapshot>>;

QCoro::Task<> readRacer(Read read, std::shared_ptr<Race> race)
{
    std::optional<Snapshot> items = co_await read;
    // The deadline's timer has nothing left to do.
    race->deadlineToken.cancel();
    finishRace(race, std::move(items));
}

QCoro::Task<> deadlineRacer(Clock &clock, std::shared_ptr<Race> race)
{
    try {
        co_await Async::sleep(clock, snapshotDeadline, race->deadlineToken);
    } catch (const CancelledError &) { }
    finishRace(race, std::nullopt);
}

// A cancelled session only shortens the wait.
QCoro::Task<> graceSleep(Clock &clock, CancellationToken token)
{
    try {
        co_await Async::sleep(clock, grace, std::move(token));
    } catch (const CancelledError &) { }
}

bool hasContent(const Snapshot &snapshot)
{
    return std::any_of(snapshot.cbegin(), snapshot.cend(),
                       [](const Pasteboard::Item &item) { return !item.isEmpty(); });
}

// Puts the saved items back; an empty snapshot empties the clipboard. One write replaces the
// content at once: an empty moment in between would wake clipboard managers.
void writeBack(Pasteboard &pasteboard, const Snapshot &snapshot)
{
    if (hasContent(snapshot)) {
        pasteboard.writeItems(snapshot);
    } else {
        pasteboard.clearContents();
    }
}

QCoro::Task<> restoreLater(Services services, int restoreDelayMs, qint64 armed, qint64 readsBefore,
                           Snapshot snapshot, quint64 pendingKey,
                           std::shared_ptr<DictationTrace> trace)
{
    co_await Async::sleep(services.clock, std::chrono::milliseconds(std::max(0, restoreDelayMs)));
    // The paste shortcut only asks the target to fetch the text; a target that has not done so
    // yet would get the restored content instead.
    const auto readDeadline = services.clock.uptime() + readWaitLimit;
    while (services.pasteboard.changeCount() == armed
           && services.pasteboard.contentReadCount() <= readsBefore
           && services.clock.uptime() < readDeadline) {
        co_await Async::sleep(services.clock, readPollInterval);
    }
    if (services.pasteboard.changeCount() == armed) {
        writeBack(services.pasteboard, snapshot);
    }
    services.state.removePending(pendingKey);
    if (trace) {
        trace->mark(QStringLiteral("insert.restore"),
                    QStringLiteral("delay=") + QString::number(restoreDelayMs)
                        + QStringLiteral("ms(切り離し)"));
    }
}

QString itemsDetail(const Snapshot &snapshot)
{
    return QStringLiteral("items=") + QString::number(snapshot.size());
}

} // namespace

std::optional<Snapshot> SharedState::pendingContent(qint64 changeCount) const
{
    for (const Pending &pending : m_pending) {
        if (pending.armed == changeCount) {
            return pending.saved;
        }
    }
    return std::nullopt;
}

quint64 SharedState::addPending(qint64 armed, Snapshot saved)
{
    const quint64 key = m_nextKey++;
    m_pending.append({key, armed, std::move(saved)});
    return key;
}

void SharedState::rearmPending(quint64 key, qint64 armed)
{
    for (Pending &pending : m_pending) {
        if (pending.key == key) {
            pending.armed = armed;
        }
    }
}

void SharedState::removePending(quint64 key)
{
    m_pending.removeIf([key](const Pending &pending) { return pending.key == key; });
}

std::optional<SharedTask<std::optional<Snapshot>>> SharedState::takeAhead(qint64 changeCount)
{
    std::optional<AheadRead> ahead = std::exchange(m_ahead, std::nullopt);
    if (!ahead || ahead->changeCount != changeCount) {
        return std::nullopt;
    }
    return std::move(ahead->read);
}

void readAhead(Services services)
{
    const qint64 count = services.pasteboard.changeCount();
    if (services.state.pendingContent(count) || services.state.hasAheadFor(count)) {
        return;
    }
    services.state.keepAhead({count, Read(services.pasteboard.readItems())});
}

SnapshotTask beginSnapshot(Services services)
{
    return SnapshotTask(snapshotWithDeadline(services));
}

QCoro::Task<std::optional<Snapshot>> snapshotWithDeadline(Services services)
{
    // Runs up to the first wait at once: the clipboard is judged as it is now.
    const qint64 count = services.pasteboard.changeCount();
    std::optional<Read> read = services.state.takeAhead(count);
    if (std::optional<Snapshot> pending = services.state.pendingContent(count)) {
        // Our own text is on the clipboard: the user's content is the one its restore keeps.
        co_return pending;
    }
    if (!read) {
        read = Read(services.pasteboard.readItems());
    }
    auto race = std::make_shared<Race>();
    deadlineRacer(services.clock, race);
    readRacer(std::move(*read), race);
    co_return co_await RaceAwaiter(race);
}

std::optional<qint64> armPasteboard(Pasteboard &pasteboard, const QString &text)
{
    const Pasteboard::Item item {
        {Pasteboard::plainTextType, text.toUtf8(), {}, 8},
        {transientType, {}, {}, 8},
        {autoGeneratedType, {}, {}, 8},
        {passwordManagerHintType, QByteArrayLiteral("secret"), {}, 8},
    };
    if (!pasteboard.writeItems({item})) {
        return std::nullopt;
    }
    return pasteboard.changeCount();
}

QCoro::Task<bool> postCmdV(Services services)
{
    SyntheticKeyboard &keyboard = services.keyboard;
    if (!keyboard.isTrusted()) {
        DebugLog::log(QStringLiteral("paste: cmdV not posted — accessibility not granted"));
        co_return false;
    }
    if (!co_await ModifierRelease::waitForRelease(keyboard, services.clock)) {
        DebugLog::log(QStringLiteral("paste: cmdV not posted — modifier keys still held"));
        co_return false;
    }
    QList<Key> chord {Key::Control};
    if (keyboard.isTerminalFocused()) {
        chord.append(Key::Shift);
    }
    chord.append(Key::V);

    bool failed = false;
    QList<Key> pressed;
    for (const Key key : std::as_const(chord)) {
        if (!keyboard.postKey(key, true)) {
            failed = true;
            break;
        }
        pressed.append(key);
        co_await Async::sleep(services.clock, keyEventPause);
    }
    // Release in reverse order, every key that went down, even after a failure: a key left
    // pressed would garble everything the user types next.
    while (!pressed.isEmpty()) {
        const Key key = pressed.takeLast();
        if (!keyboard.postKey(key, false)) {
            failed = true;
            continue;
        }
        co_await Async::sleep(services.clock, keyEventPause);
    }
    if (failed) {
        DebugLog::log(QStringLiteral("paste: cmdV event creation failed"));
        co_return false;
    }
    co_return true;
}

QCoro::Task<bool> insert(Services services, QString text, bool restoreClipboard, int restoreDelayMs,
                         std::optional<SnapshotTask> snapshotTask, SessionContext context)
{
    const std::shared_ptr<DictationTrace> trace = context.trace;
    const auto mark = [&trace](const QString &name, std::optional<QString> detail = std::nullopt) {
        if (trace) {
            trace->mark(name, detail);
        }
    };

    std::optional<Snapshot> snapshot;
    if (restoreClipboard) {
        if (snapshotTask && snapshotTask->isValid()) {
            snapshot = co_await *snapshotTask;
            mark(QStringLiteral("insert.snapshot"),
                 (snapshot ? itemsDetail(*snapshot) : QStringLiteral("timeout → 復元なし"))
                     + QStringLiteral(" (先行取得)"));
        } else {
            snapshot = co_await snapshotWithDeadline(services);
            mark(QStringLiteral("insert.snapshot"),
                 snapshot ? itemsDetail(*snapshot)
                          : QStringLiteral("timeout(") + QString::number(snapshotDeadline.count())
                         + QStringLiteral("ms) → 復元なし"));
        }
    }

    Pasteboard &pasteboard = services.pasteboard;
    const qint64 countBeforeArming = pasteboard.changeCount();
    std::optional<qint64> armed = armPasteboard(pasteboard, text);
    if (!armed) {
        // A write that failed half way may have emptied the clipboard: the user's content goes
        // back rather than being lost.
        if (snapshot && pasteboard.changeCount() != countBeforeArming) {
            writeBack(pasteboard, *snapshot);
        }
        co_return false;
    }
    mark(QStringLiteral("insert.arm"),
         QString::number(Unicode::graphemeCount(text)) + QStringLiteral("ch"));
    // From here the user's content lives only in the snapshot: a dictation that starts before the
    // restore has run must find it there.
    std::optional<quint64> pendingKey;
    if (restoreClipboard && snapshot) {
        pendingKey = services.state.addPending(*armed, *snapshot);
    }
    const auto forgetPending = [&services, &pendingKey] {
        if (pendingKey) {
            services.state.removePending(*pendingKey);
        }
    };

    co_await graceSleep(services.clock, context.cancellation);
    mark(QStringLiteral("insert.grace"));

    if (pasteboard.changeCount() != *armed) {
        // Someone wrote to the clipboard during the grace (often a clipboard manager taking its
        // copy): write once more and paste without checking again.
        armed = armPasteboard(pasteboard, text);
        if (!armed) {
            forgetPending();
            co_return false;
        }
        if (pendingKey) {
            services.state.rearmPending(*pendingKey, *armed);
        }
        co_await graceSleep(services.clock, context.cancellation);
        mark(QStringLiteral("insert.rearm"),
             QStringLiteral("他アプリがクリップボードを書き換えたため再武装"));
    }

    const qint64 readsBefore = pasteboard.contentReadCount();
    // Without the keys the text stays on the clipboard, where the user can still paste it; a
    // restore would take it away.
    if (!co_await postCmdV(services)) {
        forgetPending();
        co_return false;
    }
    mark(QStringLiteral("insert.cmdV"));
    if (pendingKey) {
        restoreLater(services, restoreDelayMs, *armed, readsBefore, std::move(*snapshot),
                     *pendingKey, trace);
    }
    co_return true;
}

} // namespace PasteInserter
