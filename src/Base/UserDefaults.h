#pragma once

#include "Base/Clock.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>

class SerialQueue;
class Timer;

// The application's typed preference store.
//
// Values are bool, integer, double, string, string array, data, dictionary (and plain lists inside
// dictionaries). A typed read of a value of another type gives nothing, so each reader applies its
// own default. A persisted instance rewrites its whole file atomically (a new file put in place),
// off the caller's thread, at most once per writeDelay and when flushed: changes made in quick
// succession (typing, a list edited key by key) are written together, a crash loses at most the
// last writeDelay of changes, and the application flushes at quit so that nothing is lost then.
// An instance without a file lives in memory only (tests). Safe to use from any thread; the write
// timer runs on the thread the store belongs to.
class UserDefaults : public QObject
{
    Q_OBJECT

public:
    // The longest a change waits before it is written.
    static constexpr std::chrono::milliseconds writeDelay {300};
    // Settings are a few hundred kilobytes even with a large vocabulary; anything larger at the
    // path is not read, and settings that would outgrow it are not written.
    static constexpr qint64 maxFileBytes = 8 * 1024 * 1024;

    // filePath empty: in memory only. Otherwise the file is read now and written after changes.
    // A missing file gives an empty store. Anything at the path that cannot be read (not a regular
    // file, larger than maxFileBytes, it cannot be opened, reading fails, it is not a JSON object,
    // it nests too deeply) also gives an empty store, and is never overwritten: the first write
    // renames it aside as "<file>.unreadable-<UTC time of the change>" and writes a new file; when
    // it cannot be renamed, changes stay in memory. The clock times the writes and names the kept
    // file; it must outlive the store.
    explicit UserDefaults(const QString &filePath = QString(), QObject *parent = nullptr,
                          Clock &clock = Clock::system());
    // Writes what is pending.
    ~UserDefaults() override;

    // The process-wide store, persisted under the config folder as "defaults.json".
    static UserDefaults &standard();
    // Tests put an in-memory store in place of the standard one; nullptr restores it.
    static void overrideStandard(UserDefaults *instance);

    std::optional<bool> boolValue(const QString &key) const;
    // Integers, and doubles that hold a whole number.
    std::optional<qint64> integer(const QString &key) const;
    // Any number.
    std::optional<double> doubleValue(const QString &key) const;
    std::optional<QString> string(const QString &key) const;
    std::optional<QStringList> stringArray(const QString &key) const;
    std::optional<QByteArray> data(const QString &key) const;
    std::optional<QVariantMap> dictionary(const QString &key) const;
    // The raw value; invalid when absent.
    QVariant object(const QString &key) const;
    bool contains(const QString &key) const;
    QStringList keys() const;

    // An invalid QVariant removes the key. Unsupported types are dropped with a warning.
    void setValue(const QString &key, const QVariant &value);
    void remove(const QString &key);

    QString filePath() const { return m_filePath; }

    // Writes every change not yet written and returns once it is on disk. The application calls
    // it at quit.
    void flush();
    // Returns once the writes already started have ended; starts none.
    void waitForWritesForTesting();

Q_SIGNALS:
    // Emitted on the calling thread after every set or remove, also when the value is unchanged.
    void changed(const QString &key);

private:
    void load();
    void noteChangeLocked();
    void scheduleWrite();
    // On the writer's thread.
    void writePending();
    bool setAsideUnreadableFile(const QDateTime &now);

    QString m_filePath;
    Clock &m_clock;
    mutable std::mutex m_mutex;
    QVariantMap m_values;
    // Under the mutex: changes not yet handed to the writer, and when the last one was made.
    bool m_dirty = false;
    QDateTime m_changedAt;
    // The file found at start could not be read; it is renamed aside before the first write.
    std::atomic<bool> m_mustSetAside = false;
    // It could not be renamed aside either: nothing is written to the path any more. Writer only.
    bool m_writeBlocked = false;
    // A child of the store; null for a store in memory.
    Timer *m_writeTimer = nullptr;
    // Declared last: destroyed first, once everything queued is written.
    std::unique_ptr<SerialQueue> m_writer;
};
