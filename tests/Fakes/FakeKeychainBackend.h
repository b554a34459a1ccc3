#pragma once

#include "Platform/KeychainBackend.h"

#include <QHash>
#include <QList>
#include <QStringList>

// A secret store in memory that records every job ("read k", "write k", "remove k"). It answers
// inside the call (immediate), when told to (deferred: answerNext()), or never (hung, like a
// locked keyring started on demand).
class FakeKeychainBackend final : public KeychainBackend
{
public:
    enum class Mode { immediate, deferred, hung };

    bool isAvailable() override { return available; }

    void read(const QString &key, Completion done) override
    {
        jobs.append(QStringLiteral("read ") + key);
        respond(std::move(done), [this, key] {
            if (!items.contains(key)) {
                return Reply {Status::notFound, {}, QStringLiteral("not found")};
            }
            return Reply {Status::success, items.value(key), {}};
        });
    }

    void write(const QString &key, const QString &value, Completion done) override
    {
        jobs.append(QStringLiteral("write ") + key);
        respond(std::move(done), [this, key, value] {
            items.insert(key, value.toUtf8());
            return Reply {Status::success, {}, {}};
        });
    }

    void remove(const QString &key, Completion done) override
    {
        jobs.append(QStringLiteral("remove ") + key);
        respond(std::move(done), [this, key] {
            return items.remove(key) ? Reply {Status::success, {}, {}}
                                     : Reply {Status::notFound, {}, QStringLiteral("not found")};
        });
    }

    // Deferred mode: carries out the oldest waiting job and answers it. False when none waits.
    bool answerNext()
    {
        if (waiting.isEmpty()) {
            return false;
        }
        waiting.takeFirst()();
        return true;
    }

    Mode mode = Mode::immediate;
    bool available = true;
    // When set, every job fails with this status instead of being carried out.
    std::optional<Status> failWith;
    QHash<QString, QByteArray> items;
    QStringList jobs;
    QList<std::function<void()>> waiting;

private:
    void respond(Completion done, std::function<Reply()> carryOut)
    {
        auto answer = [this, done = std::move(done), carryOut = std::move(carryOut)] {
            done(failWith ? Reply {*failWith, {}, QStringLiteral("the store refused")}
                          : carryOut());
        };
        switch (mode) {
        case Mode::immediate:
            answer();
            break;
        case Mode::deferred:
            waiting.append(std::move(answer));
            break;
        case Mode::hung:
            break;
        }
    }
};
