#pragma once

#include "Base/Clock.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

#include <mutex>
#include <optional>

// The application's typed preference store.
//
// Values are bool, integer, double, string, string array, data, dictionary (and plain lists inside
// dictionaries). A typed read of a value of another type gives nothing, so each reader applies its
// own default. A persisted instance rewrites its file atomically after every change; an instance
// without a file lives in memory only (tests). Safe to use from any thread.
class UserDefaults : public QObject
{
    Q_OBJECT

public:
    // filePath empty: in memory only. Otherwise the file is read now and written at every change.
    // A missing file gives an empty store. A file that is there but cannot be read (it cannot be
    // opened, reading fails, it is not a JSON object, it nests too deeply) also gives an empty
    // store, and is never overwritten: the first write renames it aside as
    // "<file>.unreadable-<UTC time>" and writes a new file; when it cannot be renamed, changes
    // stay in memory. The clock names the kept file; it must outlive the store.
    explicit UserDefaults(const QString &filePath = QString(), QObject *parent = nullptr,
                          Clock &clock = Clock::system());

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

Q_SIGNALS:
    // Emitted on the calling thread after every set or remove, also when the value is unchanged.
    void changed(const QString &key);

private:
    void load();
    void persistLocked();
    bool setAsideUnreadableFileLocked();

    QString m_filePath;
    Clock &m_clock;
    mutable std::mutex m_mutex;
    QVariantMap m_values;
    // The file found at start could not be read; it is renamed aside before the first write.
    bool m_mustSetAside = false;
    // It could not be renamed aside either: nothing is written to the path any more.
    bool m_writeBlocked = false;
};
