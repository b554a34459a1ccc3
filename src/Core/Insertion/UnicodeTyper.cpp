#include "Core/Insertion/UnicodeTyper.h"

#include "Base/Async.h"
#include "Base/CancelledError.h"
#include "Core/Insertion/ModifierRelease.h"

#include <QSet>

namespace UnicodeTyper {

namespace {

bool isNewlineUnit(QChar c)
{
    switch (c.unicode()) {
    case 0x000A:
    case 0x000B:
    case 0x000C:
    case 0x000D:
    case 0x0085:
    case 0x2028:
    case 0x2029:
        return true;
    default:
        return false;
    }
}

QList<char32_t> scalars(const QString &text)
{
    QList<char32_t> result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            result.append(QChar::surrogateToUcs4(c, text.at(i + 1)));
            ++i;
        } else {
            result.append(c.unicode());
        }
    }
    return result;
}

// Groups the characters that need spare keys, in typing order, into batches of at most
// `capacity` different characters; each batch is bound before its first character is typed.
struct Plan
{
    QList<QList<char32_t>> batches;
    // Index (among the characters needing spare keys) where each batch starts.
    QList<qsizetype> starts;
};

Plan planBatches(const QList<char32_t> &needingSpare, int capacity)
{
    Plan plan;
    if (capacity <= 0) {
        return plan;
    }
    QSet<char32_t> current;
    for (qsizetype i = 0; i < needingSpare.size(); ++i) {
        const char32_t c = needingSpare.at(i);
        if (current.contains(c)) {
            continue;
        }
        if (plan.batches.isEmpty() || current.size() == capacity) {
            plan.batches.append(QList<char32_t>());
            plan.starts.append(i);
            current.clear();
        }
        current.insert(c);
        plan.batches.last().append(c);
    }
    return plan;
}

// Waits until the spare keys typed last, at `lastUse`, have had their settling pause. A
// cancellation only ends the wait early.
QCoro::Task<> settleSince(Clock &clock, std::chrono::nanoseconds lastUse,
                          CancellationToken cancellation)
{
    const std::chrono::nanoseconds left = lastUse + settle - clock.uptime();
    if (left <= std::chrono::nanoseconds::zero()) {
        co_return;
    }
    try {
        co_await Async::sleep(clock, left, std::move(cancellation));
    } catch (const CancelledError &) { }
}

} // namespace

QStringList lines(const QString &text)
{
    QStringList result;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!isNewlineUnit(text.at(i))) {
            continue;
        }
        result.append(text.mid(start, i - start));
        if (text.at(i) == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n') {
            ++i;
        }
        start = i + 1;
    }
    result.append(text.mid(start));
    return result;
}

QStringList chunks(const QString &line)
{
    QStringList result;
    const qsizetype count = line.size();
    qsizetype start = 0;
    while (start < count) {
        qsizetype end = std::min(count, start + chunkUnits);
        if (start + chunkUnits < count && line.at(end - 1).isHighSurrogate()) {
            --end;
        }
        result.append(line.mid(start, end - start));
        start = end;
    }
    return result;
}

QCoro::Task<bool> type(SyntheticKeyboard &keyboard, Clock &clock, QString text,
                       CancellationToken cancellation)
{
    if (!keyboard.isTrusted()) {
        co_return false;
    }
    if (text.isEmpty()) {
        co_return true;
    }
    if (!co_await ModifierRelease::waitForRelease(keyboard, clock, cancellation)) {
        co_return false;
    }
    if (!keyboard.beginTyping()) {
        co_return false;
    }

    const QStringList textLines = lines(text);
    QList<char32_t> needingSpare;
    for (const QString &line : textLines) {
        for (const char32_t c : scalars(line)) {
            if (!keyboard.hasKeyFor(c)) {
                needingSpare.append(c);
            }
        }
    }
    const Plan plan = planBatches(needingSpare, keyboard.spareKeyCount());

    qsizetype spareIndex = 0;
    qsizetype nextBatch = 0;
    bool spareKeysUsed = false;
    std::chrono::nanoseconds lastSpareUse {};
    bool cancelled = false;
    for (qsizetype lineIndex = 0; lineIndex < textLines.size() && !cancelled; ++lineIndex) {
        if (lineIndex > 0) {
            if ((cancelled = cancellation.isCancelled())) {
                break;
            }
            keyboard.postKey(SyntheticKeyboard::Key::Return, true);
            keyboard.postKey(SyntheticKeyboard::Key::Return, false);
            co_await Async::sleep(clock, pause);
        }
        for (const QString &chunk : chunks(textLines.at(lineIndex))) {
            for (const char32_t c : scalars(chunk)) {
                // The user's cancel arrives during a pause; it is seen before the next character.
                if ((cancelled = cancellation.isCancelled())) {
                    break;
                }
                if (!keyboard.hasKeyFor(c)) {
                    if (nextBatch < plan.starts.size() && plan.starts.at(nextBatch) == spareIndex) {
                        if (spareKeysUsed) {
                            co_await settleSince(clock, lastSpareUse, cancellation);
                            if ((cancelled = cancellation.isCancelled())) {
                                break;
                            }
                        }
                        keyboard.bindSpareKeys(plan.batches.at(nextBatch));
                        ++nextBatch;
                    }
                    ++spareIndex;
                    spareKeysUsed = true;
                    lastSpareUse = clock.uptime();
                }
                keyboard.typeCharacter(c);
            }
            if (cancelled) {
                break;
            }
            co_await Async::sleep(clock, pause);
        }
    }
    // Not cut short by the cancellation: the keys typed last must be read before their keymap
    // goes back, or they arrive as whatever the keys mean afterwards.
    if (spareKeysUsed) {
        co_await settleSince(clock, lastSpareUse, CancellationToken());
    }
    keyboard.endTyping();
    co_return !cancelled;
}

} // namespace UnicodeTyper
