#include "Base/UserDefaults.h"

#include "Base/BoundedFile.h"
#include "Base/Json.h"
#include "Base/Paths.h"
#include "Base/SerialQueue.h"
#include "Base/Timer.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QSaveFile>
#include <QThread>
#include <QtDebug>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <nlohmann/json.hpp>

using nlohmann::ordered_json;

namespace {

// Data values are written as {"$data": "<base64>"} so that they read back as data, not text.
const char *const kDataMarker = "$data";

std::atomic<UserDefaults *> g_override {nullptr};

// `depth` counts the arrays and objects around the value. A value nested deeper than a reader
// accepts has no file form: written, it would make the whole file unreadable at the next start.
std::optional<ordered_json> toJson(const QVariant &value, int depth)
{
    if (!value.isValid()) {
        // A null inside a list read from the file goes back out as it came in.
        return ordered_json(nullptr);
    }
    const auto container = [depth]() -> bool {
        return depth + 1 <= Json::maxNestingDepth;
    };
    switch (value.typeId()) {
    case QMetaType::Bool:
        return ordered_json(value.toBool());
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::Long:
    case QMetaType::Short:
        return ordered_json(static_cast<std::int64_t>(value.toLongLong()));
    case QMetaType::ULongLong:
    case QMetaType::ULong:
        return ordered_json(static_cast<std::uint64_t>(value.toULongLong()));
    case QMetaType::Double:
    case QMetaType::Float:
        return ordered_json(value.toDouble());
    case QMetaType::QString:
        return ordered_json(value.toString().toStdString());
    case QMetaType::QByteArray: {
        if (!container()) {
            return std::nullopt;
        }
        ordered_json object = ordered_json::object();
        object[kDataMarker] = value.toByteArray().toBase64().toStdString();
        return object;
    }
    case QMetaType::QStringList: {
        if (!container()) {
            return std::nullopt;
        }
        ordered_json array = ordered_json::array();
        for (const QString &item : value.toStringList()) {
            array.push_back(item.toStdString());
        }
        return array;
    }
    case QMetaType::QVariantList: {
        if (!container()) {
            return std::nullopt;
        }
        ordered_json array = ordered_json::array();
        for (const QVariant &item : value.toList()) {
            auto encoded = toJson(item, depth + 1);
            if (!encoded) {
                return std::nullopt;
            }
            array.push_back(std::move(*encoded));
        }
        return array;
    }
    case QMetaType::QVariantMap: {
        if (!container()) {
            return std::nullopt;
        }
        ordered_json object = ordered_json::object();
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            auto encoded = toJson(it.value(), depth + 1);
            if (!encoded) {
                return std::nullopt;
            }
            object[it.key().toStdString()] = std::move(*encoded);
        }
        return object;
    }
    default:
        return std::nullopt;
    }
}

// Whether toJson() gives the value a file form, found without building it: every change is
// checked on the caller's thread, and a vocabulary list holds thousands of texts.
bool hasFileForm(const QVariant &value, int depth)
{
    const bool container = depth + 1 <= Json::maxNestingDepth;
    switch (value.typeId()) {
    case QMetaType::QByteArray:
    case QMetaType::QStringList:
        return container;
    case QMetaType::QVariantList: {
        const QVariantList list = value.toList();
        return container && std::all_of(list.cbegin(), list.cend(), [depth](const QVariant &item) {
                   return hasFileForm(item, depth + 1);
               });
    }
    case QMetaType::QVariantMap: {
        const QVariantMap map = value.toMap();
        return container && std::all_of(map.cbegin(), map.cend(), [depth](const QVariant &item) {
                   return hasFileForm(item, depth + 1);
               });
    }
    default:
        return toJson(value, depth).has_value();
    }
}

QVariant fromJson(const ordered_json &json)
{
    switch (json.type()) {
    case ordered_json::value_t::boolean:
        return json.get<bool>();
    case ordered_json::value_t::number_integer:
        return QVariant::fromValue<qint64>(json.get<std::int64_t>());
    case ordered_json::value_t::number_unsigned:
        return QVariant::fromValue<quint64>(json.get<std::uint64_t>());
    case ordered_json::value_t::number_float:
        return json.get<double>();
    case ordered_json::value_t::string:
        return QString::fromStdString(json.get<std::string>());
    case ordered_json::value_t::array: {
        bool allStrings = true;
        QVariantList list;
        for (const auto &item : json) {
            allStrings = allStrings && item.is_string();
            list.append(fromJson(item));
        }
        if (allStrings) {
            QStringList strings;
            for (const QVariant &item : list) {
                strings.append(item.toString());
            }
            return strings;
        }
        return list;
    }
    case ordered_json::value_t::object: {
        if (json.size() == 1 && json.contains(kDataMarker) && json[kDataMarker].is_string()) {
            return QByteArray::fromBase64(
                QByteArray::fromStdString(json[kDataMarker].get<std::string>()));
        }
        QVariantMap map;
        for (auto it = json.begin(); it != json.end(); ++it) {
            // A null entry reads as an absent key, as it would have been had it not been written.
            if (!it.value().is_null()) {
                map.insert(QString::fromStdString(it.key()), fromJson(it.value()));
            }
        }
        return map;
    }
    default:
        return {};
    }
}

bool isNumber(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Short:
    case QMetaType::Double:
    case QMetaType::Float:
        return true;
    default:
        return false;
    }
}

} // namespace

UserDefaults::UserDefaults(const QString &filePath, QObject *parent, Clock &clock)
    : QObject(parent)
    , m_filePath(filePath)
    , m_clock(clock)
{
    if (m_filePath.isEmpty()) {
        return;
    }
    load();
    m_writer = std::make_unique<SerialQueue>(QStringLiteral("org.sonorvelle.defaults"));
    // A child, so that it moves with the store to the thread whose event loop runs it.
    m_writeTimer = m_clock.makeTimer().release();
    m_writeTimer->setParent(this);
    connect(m_writeTimer, &Timer::timeout, this,
            [this] { m_writer->async([this] { writePending(); }); });
}

UserDefaults::~UserDefaults()
{
    flush();
}

void UserDefaults::load()
{
    // Whatever is at the path and cannot be read is kept, never replaced: it may be a passing
    // fault (a file of another owner, a failing disk) or hold settings that can be recovered by
    // hand.
    const BoundedFile::Result file = BoundedFile::read(m_filePath, maxFileBytes);
    if (file.status == BoundedFile::Status::missing) {
        return; // the first start
    }
    if (!file.isRead()) {
        qWarning() << "defaults: cannot read" << m_filePath << file.error
                   << "; starting empty, the file is kept";
        m_mustSetAside = true;
        return;
    }

    ordered_json json;
    try {
        json = Json::parse(file.bytes);
    } catch (const Json::DecodeError &error) {
        qWarning() << "defaults: unreadable file" << m_filePath << error.what()
                   << "; starting empty, the file is kept";
        m_mustSetAside = true;
        return;
    }
    if (!json.is_object()) {
        qWarning() << "defaults: file holds no settings object" << m_filePath
                   << "; starting empty, the file is kept";
        m_mustSetAside = true;
        return;
    }
    m_values = fromJson(json).toMap();
}

UserDefaults &UserDefaults::standard()
{
    if (UserDefaults *instance = g_override.load()) {
        return *instance;
    }
    static UserDefaults *shared = [] {
        auto *store = new UserDefaults(Paths::configFolder() + QStringLiteral("/defaults.json"));
        // Its writes are timed on the main thread, wherever it is first used.
        if (QCoreApplication *app = QCoreApplication::instance()) {
            store->moveToThread(app->thread());
        }
        return store;
    }();
    return *shared;
}

void UserDefaults::overrideStandard(UserDefaults *instance)
{
    g_override.store(instance);
}

QVariant UserDefaults::object(const QString &key) const
{
    std::lock_guard lock(m_mutex);
    return m_values.value(key);
}

bool UserDefaults::contains(const QString &key) const
{
    std::lock_guard lock(m_mutex);
    return m_values.contains(key);
}

QStringList UserDefaults::keys() const
{
    std::lock_guard lock(m_mutex);
    return m_values.keys();
}

std::optional<bool> UserDefaults::boolValue(const QString &key) const
{
    const QVariant value = object(key);
    if (value.typeId() != QMetaType::Bool) {
        return std::nullopt;
    }
    return value.toBool();
}

std::optional<qint64> UserDefaults::integer(const QString &key) const
{
    const QVariant value = object(key);
    if (!isNumber(value)) {
        return std::nullopt;
    }
    if (value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float) {
        const double number = value.toDouble();
        if (!std::isfinite(number) || std::trunc(number) != number || std::fabs(number) > 9.0e18) {
            return std::nullopt;
        }
        return static_cast<qint64>(number);
    }
    return value.toLongLong();
}

std::optional<double> UserDefaults::doubleValue(const QString &key) const
{
    const QVariant value = object(key);
    if (!isNumber(value)) {
        return std::nullopt;
    }
    return value.toDouble();
}

std::optional<QString> UserDefaults::string(const QString &key) const
{
    const QVariant value = object(key);
    if (value.typeId() != QMetaType::QString) {
        return std::nullopt;
    }
    return value.toString();
}

std::optional<QStringList> UserDefaults::stringArray(const QString &key) const
{
    const QVariant value = object(key);
    if (value.typeId() == QMetaType::QStringList) {
        return value.toStringList();
    }
    if (value.typeId() == QMetaType::QVariantList) {
        QStringList strings;
        for (const QVariant &item : value.toList()) {
            if (item.typeId() != QMetaType::QString) {
                return std::nullopt;
            }
            strings.append(item.toString());
        }
        return strings;
    }
    return std::nullopt;
}

std::optional<QByteArray> UserDefaults::data(const QString &key) const
{
    const QVariant value = object(key);
    if (value.typeId() != QMetaType::QByteArray) {
        return std::nullopt;
    }
    return value.toByteArray();
}

std::optional<QVariantMap> UserDefaults::dictionary(const QString &key) const
{
    const QVariant value = object(key);
    if (value.typeId() != QMetaType::QVariantMap) {
        return std::nullopt;
    }
    return value.toMap();
}

void UserDefaults::setValue(const QString &key, const QVariant &value)
{
    if (!value.isValid()) {
        remove(key);
        return;
    }
    if (!hasFileForm(value, 1)) {
        qWarning() << "defaults: unsupported value type or nesting for" << key << value.typeName();
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        m_values.insert(key, value);
        noteChangeLocked();
    }
    scheduleWrite();
    Q_EMIT changed(key);
}

void UserDefaults::remove(const QString &key)
{
    {
        std::lock_guard lock(m_mutex);
        m_values.remove(key);
        noteChangeLocked();
    }
    scheduleWrite();
    Q_EMIT changed(key);
}

void UserDefaults::noteChangeLocked()
{
    m_dirty = true;
    // The unreadable file is kept under the time of the change that replaces it; the writer's
    // thread never reads the clock, which may be a test's.
    if (m_mustSetAside) {
        m_changedAt = m_clock.now();
    }
}

void UserDefaults::scheduleWrite()
{
    if (!m_writer) {
        return;
    }
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, &UserDefaults::scheduleWrite, Qt::QueuedConnection);
        return;
    }
    // A running timer is left to run, so that changes made while typing wait at most one delay.
    if (!m_writeTimer->isActive()) {
        m_writeTimer->start(writeDelay, false);
    }
}

void UserDefaults::flush()
{
    if (!m_writer) {
        return;
    }
    if (QThread::currentThread() == thread()) {
        m_writeTimer->stop();
    }
    m_writer->sync([this] { writePending(); });
}

void UserDefaults::waitForWritesForTesting()
{
    if (m_writer) {
        m_writer->sync([] {});
    }
}

void UserDefaults::writePending()
{
    QVariantMap values;
    QDateTime changedAt;
    {
        std::lock_guard lock(m_mutex);
        if (!m_dirty) {
            return;
        }
        m_dirty = false;
        values = m_values;
        changedAt = m_changedAt;
    }
    if (m_writeBlocked) {
        return;
    }
    const auto json = toJson(values, 0);
    if (!json) {
        qWarning() << "defaults: a value has no file form; not written:" << m_filePath;
        return;
    }
    const QByteArray bytes = QByteArray::fromStdString(json->dump(2));
    if (bytes.size() > maxFileBytes) {
        // Written, it would be refused at the next start and every setting with it.
        qWarning() << "defaults: the settings outgrew" << maxFileBytes
                   << "bytes; not written:" << m_filePath;
        return;
    }
    if (m_mustSetAside) {
        if (!setAsideUnreadableFile(changedAt)) {
            m_writeBlocked = true;
            qWarning() << "defaults: the unreadable file cannot be kept aside; changes stay in "
                          "memory until the next start:"
                       << m_filePath;
            return;
        }
        m_mustSetAside = false;
    }
    QSaveFile file(m_filePath);
    if (!file.open(QIODevice::WriteOnly)) {
        qWarning() << "defaults: cannot write" << m_filePath << file.errorString();
        return;
    }
    file.write(bytes);
    if (!file.commit()) {
        qWarning() << "defaults: cannot write" << m_filePath << file.errorString();
    }
}

bool UserDefaults::setAsideUnreadableFile(const QDateTime &now)
{
    QString movedTo;
    if (!Paths::setAsideUnreadable(m_filePath, now, &movedTo)) {
        return false;
    }
    if (!movedTo.isEmpty()) {
        qWarning() << "defaults: unreadable file kept as" << movedTo;
    }
    return true;
}
