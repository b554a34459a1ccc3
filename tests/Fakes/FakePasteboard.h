#pragma once

#include "Platform/Pasteboard.h"

#include <QList>
#include <QStringList>

#include <coroutine>
#include <optional>

// A clipboard in memory that records what is done to it. Reads finish at once with the content,
// or, with holdReads set, only when the test calls finishReads(). The next `failingWrites` writes
// fail; with clearOnFailedWrite such a failure empties the clipboard first.
class FakePasteboard final : public Pasteboard
{
public:
    explicit FakePasteboard(Snapshot initial = {})
        : content(std::move(initial))
    { }

    qint64 changeCount() override { return count; }

    QCoro::Task<std::optional<Snapshot>> readItems() override
    {
        calls.append(QStringLiteral("read"));
        if (holdReads) {
            co_await ReadGate {this};
            // A copy: QCoro moves from an lvalue handed to co_return.
            co_return std::optional<Snapshot>(heldResult);
        }
        co_return std::optional<Snapshot>(content);
    }

    void clearContents() override
    {
        calls.append(QStringLiteral("clear"));
        content.clear();
        ++count;
        reads = 0;
    }

    bool writeItems(const Snapshot &items) override
    {
        calls.append(QStringLiteral("write"));
        if (failingWrites > 0) {
            --failingWrites;
            if (clearOnFailedWrite) {
                content.clear();
                ++count;
            }
            return false;
        }
        content = items;
        writes.append(items);
        ++count;
        reads = 0;
        return true;
    }

    qint64 contentReadCount() override { return reads; }

    // Another application takes the clipboard (a copy, or a clipboard manager's take-over).
    void copyByOtherApplication(const Snapshot &items)
    {
        content = items;
        ++count;
        reads = 0;
    }

    // An application fetches the current content, as a paste does.
    void fetchContent() { ++reads; }

    // Finishes every held read with `result`.
    void finishReads(std::optional<Snapshot> result)
    {
        heldResult = std::move(result);
        const auto waiting = std::exchange(readers, {});
        for (auto handle : waiting) {
            handle.resume();
        }
    }

    // The text written by the last write, empty when there is none.
    QString writtenText() const
    {
        for (const Item &item : content) {
            for (const Entry &entry : item) {
                if (entry.type == plainTextType) {
                    return QString::fromUtf8(entry.data);
                }
            }
        }
        return {};
    }

    Snapshot content;
    qint64 count = 0;
    qint64 reads = 0;
    QStringList calls;
    QList<Snapshot> writes;
    bool holdReads = false;
    // How many of the next writes fail.
    int failingWrites = 0;
    bool clearOnFailedWrite = false;

private:
    struct ReadGate
    {
        FakePasteboard *pasteboard;
        bool await_ready() const { return false; }
        void await_suspend(std::coroutine_handle<> handle) { pasteboard->readers.append(handle); }
        void await_resume() const { }
    };

    QList<std::coroutine_handle<>> readers;
    std::optional<Snapshot> heldResult;
};
