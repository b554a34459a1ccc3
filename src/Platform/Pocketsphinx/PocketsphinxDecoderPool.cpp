#include "Platform/Pocketsphinx/PocketsphinxDecoderPool.h"

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
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
        // The terms an idle decoder is to be given, and a preparation under way (counted in
        // `preloading` too: its decoder comes back).
        std::optional<QStringList> wantedTerms;
        VocabularySetter setVocabulary;
        bool preparing = false;
    };

    // A decoder taken out of the idle ones to be given the wanted terms.
    struct Preparation
    {
        std::unique_ptr<PocketsphinxDecoder> decoder;
        QStringList terms;
        VocabularySetter setVocabulary;
    };

    explicit State(int limit)
        : idleLimit(limit)
    { }

    const int idleLimit;
    mutable std::mutex mutex;
    std::condition_variable delivered;
    std::map<QString, Entry> entries;
    int loads = 0;

    static bool hasIdle(const Entry &entry, const QStringList &terms)
    {
        return std::any_of(entry.idle.begin(), entry.idle.end(),
                           [&](const auto &idle) { return idle->vocabulary().terms() == terms; });
    }

    // Under the lock: starts preparing an idle decoder for the wanted terms, unless one runs
    // already, none is idle or one already has them.
    std::optional<Preparation> takePreparation(Entry &entry)
    {
        if (!entry.wantedTerms || entry.preparing || entry.idle.empty()) {
            return std::nullopt;
        }
        QStringList terms = *std::exchange(entry.wantedTerms, std::nullopt);
        if (hasIdle(entry, terms)) {
            return std::nullopt;
        }
        // acquire() hands out the last one to a session with other terms; this one waits longest.
        Preparation preparation {std::move(entry.idle.front()), std::move(terms),
                                 entry.setVocabulary};
        entry.idle.erase(entry.idle.begin());
        entry.preparing = true;
        ++entry.preloading;
        return preparation;
    }

    static void prepareInBackground(std::shared_ptr<State> state, QString key,
                                    Preparation preparation)
    {
        std::thread([state = std::move(state), key = std::move(key),
                     preparation = std::move(preparation)]() mutable {
            for (;;) {
                try {
                    preparation.setVocabulary(*preparation.decoder, preparation.terms);
                } catch (const std::exception &) {
                    preparation.decoder.reset(); // its search is in an unknown state
                }
                std::optional<Preparation> next;
                {
                    std::lock_guard lock(state->mutex);
                    Entry &entry = state->entries[key];
                    entry.preparing = false;
                    --entry.preloading;
                    if (preparation.decoder) {
                        entry.idle.push_back(std::move(preparation.decoder));
                    }
                    next = state->takePreparation(entry);
                }
                state->delivered.notify_all();
                if (!next) {
                    return;
                }
                preparation = std::move(*next);
            }
        }).detach();
    }
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
    const QString key = decoder->model().key();
    std::unique_lock lock(m_state->mutex);
    State::Entry &entry = m_state->entries[key];
    if (int(entry.idle.size()) < m_state->idleLimit + entry.waiting) {
        entry.idle.push_back(std::move(decoder));
        std::optional<State::Preparation> preparation = m_state->takePreparation(entry);
        lock.unlock();
        m_state->delivered.notify_all();
        if (preparation) {
            State::prepareInBackground(m_state, key, std::move(*preparation));
        }
    }
    // else: freed here, outside the lock
}

void PocketsphinxDecoderPool::prepare(const PocketsphinxModel &model, const QStringList &terms,
                                      VocabularySetter setVocabulary)
{
    std::optional<State::Preparation> preparation;
    {
        std::lock_guard lock(m_state->mutex);
        State::Entry &entry = m_state->entries[model.key()];
        entry.wantedTerms = terms;
        entry.setVocabulary = std::move(setVocabulary);
        preparation = m_state->takePreparation(entry);
    }
    if (preparation) {
        State::prepareInBackground(m_state, model.key(), std::move(*preparation));
    }
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

bool PocketsphinxDecoderPool::hasIdle(const PocketsphinxModel &model,
                                      const QStringList &terms) const
{
    std::lock_guard lock(m_state->mutex);
    const auto found = m_state->entries.find(model.key());
    return found != m_state->entries.end() && State::hasIdle(found->second, terms);
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
