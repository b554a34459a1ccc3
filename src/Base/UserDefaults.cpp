#include "Base/UserDefaults.h"

#include "Base/Json.h"
#include "Base/Paths.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QtDebug>

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
    if (!m_filePath.isEmpty()) {
        load();
    }
}

void UserDefaults::load()
{
    const QFileInfo info(m_filePath);
    if (!info.exists() && !info.isSymLink()) {
        return; // the first start
    }
    // Whatever is at the path and cannot be read is kept, never replaced: it may be a passing
    // fault (a file of another owner, a failing disk) or hold settings that can be recovered by
    // hand.
    QFile file(m_filePath);
    QByteArray bytes;
    bool read = file.open(QIODevice::ReadOnly);
    if (read) {
        bytes = file.readAll();
        read = file.error() == QFileDevice::NoError;
    }
    if (!read) {
        qWarning() << "defaults: cannot read" << m_filePath << file.errorString()
                   << "; starting empty, the file is kept";
        m_mustSetAside = true;
        return;
    }
    file.close();

    ordered_json json;
    try {
        json = Json::parse(bytes);
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
    static UserDefaults *shared =
        new UserDefaults(Paths::configFolder() + QStringLiteral("/defaults.json"));
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
    if (!toJson(value, 1)) {
        qWarning() << "defaults: unsupported value type or nesting for" << key << value.typeName();
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        m_values.insert(key, value);
        persistLocked();
    }
    Q_EMIT changed(key);
}

void UserDefaults::remove(const QString &key)
{
    {
        std::lock_guard lock(m_mutex);
        m_values.remove(key);
        persistLocked();
    }
    Q_EMIT changed(key);
}

void UserDefaults::persistLocked()
{
    if (m_filePath.isEmpty() || m_writeBlocked) {
        return;
    }
    const auto json = toJson(m_values, 0);
    if (!json) {
        qWarning() << "defaults: a value has no file form; not written:" << m_filePath;
        return;
    }
    if (m_mustSetAside) {
        if (!setAsideUnreadableFileLocked()) {
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
    file.write(QByteArray::fromStdString(json->dump(2)));
    if (!file.commit()) {
        qWarning() << "defaults: cannot write" << m_filePath << file.errorString();
    }
}

bool UserDefaults::setAsideUnreadableFileLocked()
{
    QString movedTo;
    if (!Paths::setAsideUnreadable(m_filePath, m_clock.now(), &movedTo)) {
        return false;
    }
    if (!movedTo.isEmpty()) {
        qWarning() << "defaults: unreadable file kept as" << movedTo;
    }
    return true;
}
