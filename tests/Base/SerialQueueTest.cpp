#include "Base/SerialQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

TEST(SerialQueue, RunsWorkInSubmissionOrderOnOneThreadOfItsOwn)
{
    SerialQueue queue(QStringLiteral("org.sonorvelle.test.order"));
    EXPECT_EQ(queue.label(), QStringLiteral("org.sonorvelle.test.order"));
    EXPECT_FALSE(queue.isCurrent());

    std::vector<int> order; // touched only by the queue
    std::set<std::thread::id> threads;
    for (int i = 0; i < 1000; ++i) {
        queue.async([&, i] {
            order.push_back(i);
            threads.insert(std::this_thread::get_id());
        });
    }
    bool current = false;
    queue.sync([&] { current = queue.isCurrent(); });

    ASSERT_EQ(order.size(), 1000u);
    for (int i = 0; i < 1000; ++i) {
        EXPECT_EQ(order[i], i);
    }
    ASSERT_EQ(threads.size(), 1u);
    EXPECT_NE(*threads.begin(), std::this_thread::get_id());
    EXPECT_TRUE(current);
}

TEST(SerialQueue, WorkFromManyThreadsNeverOverlaps)
{
    SerialQueue queue(QStringLiteral("org.sonorvelle.test.overlap"));
    std::atomic<int> running {0};
    std::atomic<int> overlaps {0};
    int total = 0; // unguarded on purpose: only the queue touches it
    std::vector<std::thread> producers;
    for (int t = 0; t < 8; ++t) {
        producers.emplace_back([&] {
            for (int i = 0; i < 500; ++i) {
                queue.async([&] {
                    if (running.fetch_add(1) != 0) {
                        overlaps.fetch_add(1);
                    }
                    ++total;
                    running.fetch_sub(1);
                });
            }
        });
    }
    for (auto &thread : producers) {
        thread.join();
    }
    queue.sync([] {});
    EXPECT_EQ(total, 4000);
    EXPECT_EQ(overlaps.load(), 0);
}

TEST(SerialQueue, SyncFromTheQueueItselfRunsAtOnce)
{
    SerialQueue queue(QStringLiteral("org.sonorvelle.test.reentrant"));
    std::vector<int> order;
    queue.sync([&] {
        order.push_back(1);
        queue.sync([&] { order.push_back(2); }); // would wait for itself forever
        order.push_back(3);
    });
    EXPECT_EQ(order, (std::vector<int> {1, 2, 3}));
}

TEST(SerialQueue, ExceptionsReachTheSyncCallerAndDoNotStopTheQueue)
{
    SerialQueue queue(QStringLiteral("org.sonorvelle.test.errors"));
    EXPECT_THROW(queue.sync([] { throw std::runtime_error("boom"); }), std::runtime_error);
    queue.async([] { throw std::logic_error("lost"); });
    int value = 0;
    queue.sync([&] { value = 7; });
    EXPECT_EQ(value, 7);
}

TEST(SerialQueue, DestructionRunsEverythingAlreadyQueued)
{
    std::atomic<int> count {0};
    std::promise<void> gate;
    {
        SerialQueue queue(QStringLiteral("org.sonorvelle.test.drain"));
        std::shared_future<void> opened = gate.get_future().share();
        // Hold the queue so that the rest is still pending when destruction starts.
        queue.async([opened] { opened.wait(); });
        for (int i = 0; i < 100; ++i) {
            queue.async([&count, &queue, i] {
                count.fetch_add(1);
                if (i == 99) {
                    // Work queued while draining still runs.
                    queue.async([&count] { count.fetch_add(1); });
                }
            });
        }
        gate.set_value();
    }
    EXPECT_EQ(count.load(), 101);
}

TEST(SerialQueue, CanBeDestroyedFromItsOwnThread)
{
    auto *queue = new SerialQueue(QStringLiteral("org.sonorvelle.test.self"));
    std::promise<void> gate;
    std::promise<void> done;
    auto finished = done.get_future();
    // Everything is queued before the gate opens, so nothing touches the deleted object.
    queue->async([opened = gate.get_future().share()] { opened.wait(); });
    queue->async([queue] { delete queue; });
    // The worker outlives the queue object and drains what is left.
    queue->async([&done] { done.set_value(); });
    gate.set_value();
    finished.wait();
}

} // namespace
