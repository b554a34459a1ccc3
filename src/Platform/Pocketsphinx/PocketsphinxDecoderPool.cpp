#include "Platform/Pocketsphinx/PocketsphinxDecoderPool.h"

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

struct PocketsphinxDecoderPool::State
{
    struct Entry
    {
        std::vector<std::unique_ptr<PocketsphinxDecoder>> idle;
        // Background loads under way, and callers waiting for one of them.
        int preloading = 0;
        int waiting = 0;
    };

    explicit State(int limit)
        : idleLimit(limit)
    { }

    const int idleLimit;
    mutable std::mutex mutex;
    std::condition_variable delivered;
    std::map<QString, Entry> entries;
    int loads = 0;
};

PocketsphinxDecoderPool::PocketsphinxDecoderPool(int idleLimit)
    : m_state(std::make_shared<State>(std::max(idleLimit, 0)))
{ }

PocketsphinxDecoderPool::~PocketsphinxDecoderPool() = default;

PocketsphinxDecoderPool &PocketsphinxDecoderPool::shared()
{
    static auto *pool = new PocketsphinxDecoderPool();
    return *pool;
}

std::unique_ptr<PocketsphinxDecoder>
PocketsphinxDecoderPool::acquire(const PocketsphinxModel &model, const QStringList &terms)
{
    {
        std::unique_lock lock(m_state->mutex);
        State::Entry &entry = m_state->entries[model.key()];
        if (entry.idle.empty() && entry.preloading > entry.waiting) {
            // A load is already under way that nobody else waits for: waiting is quicker than
            // starting another. A failed load wakes the waiters to load their own.
            ++entry.waiting;
            m_state->delivered.wait(
                lock, [&entry] { return !entry.idle.empty() || entry.preloading < entry.waiting; });
            --entry.waiting;
        }
        if (!entry.idle.empty()) {
            auto chosen = std::find_if(entry.idle.begin(), entry.idle.end(), [&](const auto &idle) {
                return idle->vocabulary().terms() == terms;
            });
            if (chosen == entry.idle.end()) {
                chosen = entry.idle.end() - 1;
            }
            auto decoder = std::move(*chosen);
            entry.idle.erase(chosen);
            return decoder;
        }
        ++m_state->loads;
    }
    return std::make_unique<PocketsphinxDecoder>(model);
}

void PocketsphinxDecoderPool::release(std::unique_ptr<PocketsphinxDecoder> decoder)
{
    if (!decoder) {
        return;
    }
    if (decoder->isInUtterance()) {
        try {
            decoder->endUtterance();
        } catch (const std::exception &) {
            return; // a decoder in an unknown state is not handed out again
        }
    }
    std::unique_lock lock(m_state->mutex);
    State::Entry &entry = m_state->entries[decoder->model().key()];
    if (int(entry.idle.size()) < m_state->idleLimit + entry.waiting) {
        entry.idle.push_back(std::move(decoder));
        lock.unlock();
        m_state->delivered.notify_all();
    }
    // else: freed here, outside the lock
}

void PocketsphinxDecoderPool::preload(const PocketsphinxModel &model)
{
    {
        std::lock_guard lock(m_state->mutex);
        State::Entry &entry = m_state->entries[model.key()];
        if (!entry.idle.empty() || entry.preloading > 0 || m_state->idleLimit == 0) {
            return;
        }
        ++entry.preloading;
        ++m_state->loads;
    }
    std::thread([state = m_state, model] {
        std::unique_ptr<PocketsphinxDecoder> decoder;
        try {
            decoder = std::make_unique<PocketsphinxDecoder>(model);
        } catch (const std::exception &) {
            // The caller that needs it loads again and reports the failure.
        }
        {
            std::lock_guard lock(state->mutex);
            State::Entry &entry = state->entries[model.key()];
            --entry.preloading;
            if (decoder) {
                entry.idle.push_back(std::move(decoder));
            }
        }
        state->delivered.notify_all();
    }).detach();
}

int PocketsphinxDecoderPool::idleCount(const PocketsphinxModel &model) const
{
    std::lock_guard lock(m_state->mutex);
    const auto found = m_state->entries.find(model.key());
    return found == m_state->entries.end() ? 0 : int(found->second.idle.size());
}

int PocketsphinxDecoderPool::loadCount() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->loads;
}

void PocketsphinxDecoderPool::clear()
{
    std::vector<std::unique_ptr<PocketsphinxDecoder>> freed;
    std::lock_guard lock(m_state->mutex);
    for (auto &[key, entry] : m_state->entries) {
        for (auto &decoder : entry.idle) {
            freed.push_back(std::move(decoder));
        }
        entry.idle.clear();
    }
}
