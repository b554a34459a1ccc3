#include "Core/WidgetProtocol.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <concepts>
#include <limits>
#include <type_traits>

namespace {

using Json = nlohmann::json;
using OrderedJson = nlohmann::ordered_json;

template<class T, class U>
concept Is = std::same_as<std::remove_const_t<T>, U>;

// Each type lists its fields once, in declaration order; the writer and the reader walk the same
// list, so the two directions cannot drift apart.

template<class V, Is<WidgetEar> T>
void fields(V &v, T &x)
{
    v.opt("symbol", x.symbol);
    v.req("text", x.text);
    v.opt("level", x.level);
    v.opt("tint", x.tint);
    v.req("priority", x.priority);
    v.opt("sprite", x.sprite);
    v.opt("meta", x.meta);
}

template<class V, Is<WidgetStatus> T>
void fields(V &v, T &x)
{
    v.opt("sprite", x.sprite);
    v.opt("text", x.text);
}

template<class V, Is<WidgetAction> T>
void fields(V &v, T &x)
{
    v.req("id", x.id);
    v.req("title", x.title);
    v.opt("symbol", x.symbol);
    v.opt("tint", x.tint);
    v.opt("detail", x.detail);
}

template<class V, Is<WidgetItem> T>
void fields(V &v, T &x)
{
    v.req("id", x.id);
    v.opt("title", x.title);
    v.opt("path", x.path);
    v.opt("meta", x.meta);
    v.opt("sub", x.sub);
    v.opt("tint", x.tint);
}

template<class V, Is<WidgetTab> T>
void fields(V &v, T &x)
{
    v.req("title", x.title);
    v.opt("symbol", x.symbol);
    v.opt("icon", x.icon);
    v.req("width", x.width);
    v.req("height", x.height);
}

template<class V, Is<WidgetAgentPresentation> T>
void fields(V &v, T &x)
{
    v.opt("agent", x.agent);
    v.req("activity", x.activity);
    v.opt("sprite", x.sprite);
    v.opt("reason", x.reason);
    v.req("revision", x.revision);
    v.req("sourceEpoch", x.sourceEpoch);
    v.req("observedAt", x.observedAt);
    v.opt("pid", x.pid);
}

template<class V, Is<WidgetPane> T>
void fields(V &v, T &x)
{
    v.req("id", x.id);
    v.req("title", x.title);
    v.opt("frame", x.frame);
    v.opt("tty", x.tty);
    v.opt("agentPresentation", x.agentPresentation);
    v.opt("unread", x.unread);
    v.opt("agentSessionId", x.agentSessionId);
}

template<class V, Is<WidgetSession> T>
void fields(V &v, T &x)
{
    v.req("id", x.id);
    v.req("title", x.title);
    v.opt("subtitle", x.subtitle);
    v.opt("thumb", x.thumb);
    v.opt("state", x.state);
    v.opt("panes", x.panes);
    v.opt("windowId", x.windowId);
    v.opt("bg", x.bg);
}

template<class V, Is<WidgetDecl> T>
void fields(V &v, T &x)
{
    v.req("id", x.id);
    v.req("kind", x.kind);
    v.req("title", x.title);
    v.opt("symbol", x.symbol);
    v.opt("minW", x.minW);
    v.opt("minH", x.minH);
    v.opt("maxW", x.maxW);
    v.opt("maxH", x.maxH);
    v.opt("chart", x.chart);
}

template<class V, Is<WidgetSnapLayout> T>
void fields(V &v, T &x)
{
    v.req("id", x.id);
    v.req("name", x.name);
    v.req("columns", x.columns);
    v.req("rows", x.rows);
    v.req("zones", x.zones);
}

template<class V, Is<WidgetData> T>
void fields(V &v, T &x)
{
    v.opt("value", x.value);
    v.opt("unit", x.unit);
    v.opt("meta", x.meta);
    v.opt("series", x.series);
    v.opt("series2", x.series2);
    v.opt("gauge", x.gauge);
    v.opt("breakdown", x.breakdown);
    v.opt("seriesCap", x.seriesCap);
    v.opt("values", x.values);
    v.opt("valuesSplit", x.valuesSplit);
    v.opt("pressure", x.pressure);
    v.opt("pressureSeries", x.pressureSeries);
    v.opt("seriesLong", x.seriesLong);
    v.opt("series2Long", x.series2Long);
    v.opt("loadSeries", x.loadSeries);
    v.opt("valuesSeries", x.valuesSeries);
    v.opt("procs", x.procs);
    v.opt("procsTotal", x.procsTotal);
    v.opt("procsSumGB", x.procsSumGB);
    v.opt("partsGB", x.partsGB);
    v.opt("facts", x.facts);
}

template<class V, Is<WidgetMessage> T>
void fields(V &v, T &x)
{
    v.req("v", x.v);
    v.req("type", x.type);
    v.req("app", x.app);
    v.opt("name", x.name);
    v.opt("ear", x.ear);
    v.opt("actions", x.actions);
    v.opt("items", x.items);
    v.opt("itemsTitle", x.itemsTitle);
    v.opt("tab", x.tab);
    v.opt("sessions", x.sessions);
    v.opt("actionId", x.actionId);
    v.opt("itemId", x.itemId);
    v.opt("rect", x.rect);
    v.opt("widgets", x.widgets);
    v.opt("widgetId", x.widgetId);
    v.opt("data", x.data);
    v.opt("placedIds", x.placedIds);
    v.opt("text", x.text);
    v.opt("lang", x.lang);
    v.opt("status", x.status);
    v.opt("phase", x.phase);
    v.opt("dragApp", x.dragApp);
    v.opt("dragTitle", x.dragTitle);
    v.opt("zone", x.zone);
    v.opt("snapLayouts", x.snapLayouts);
}

class Writer
{
public:
    explicit Writer(OrderedJson &out)
        : m_out(out)
    { }

    bool ok = true;

    template<class T>
    void req(const char *key, const T &value)
    {
        m_out[key] = write(value);
    }

    template<class T>
    void opt(const char *key, const std::optional<T> &value)
    {
        if (value) {
            req(key, *value);
        }
    }

private:
    OrderedJson write(const QString &value) { return value.toStdString(); }
    OrderedJson write(qint64 value) { return value; }
    OrderedJson write(bool value) { return value; }

    OrderedJson write(double value)
    {
        if (!std::isfinite(value)) {
            ok = false;
            return nullptr;
        }
        return value;
    }

    template<class T>
    OrderedJson write(const QList<T> &list)
    {
        OrderedJson array = OrderedJson::array();
        for (const T &element : list) {
            array.push_back(write(element));
        }
        return array;
    }

    OrderedJson write(const QMap<QString, QString> &map)
    {
        OrderedJson object = OrderedJson::object();
        for (auto it = map.begin(); it != map.end(); ++it) {
            object[it.key().toStdString()] = it.value().toStdString();
        }
        return object;
    }

    template<class T>
    requires std::is_class_v<T> OrderedJson write(const T &nested)
    {
        OrderedJson object = OrderedJson::object();
        Writer inner(object);
        fields(inner, nested);
        ok = ok && inner.ok;
        return object;
    }

    OrderedJson &m_out;
};

class Reader
{
public:
    explicit Reader(const Json &in)
        : m_in(in)
    { }

    bool ok = true;

    template<class T>
    void req(const char *key, T &value)
    {
        const auto it = m_in.find(key);
        if (it == m_in.end() || it->is_null() || !read(*it, value)) {
            ok = false;
        }
    }

    template<class T>
    void opt(const char *key, std::optional<T> &value)
    {
        value.reset();
        const auto it = m_in.find(key);
        if (it == m_in.end() || it->is_null()) {
            return;
        }
        T read_value {};
        if (!read(*it, read_value)) {
            ok = false;
            return;
        }
        value = std::move(read_value);
    }

private:
    static bool read(const Json &json, QString &value)
    {
        if (!json.is_string()) {
            return false;
        }
        const auto &text = json.get_ref<const std::string &>();
        value = QString::fromUtf8(text.data(), qsizetype(text.size()));
        return true;
    }

    static bool read(const Json &json, qint64 &value)
    {
        if (json.is_number_unsigned()) {
            const auto number = json.get<std::uint64_t>();
            if (number > std::uint64_t(std::numeric_limits<qint64>::max())) {
                return false;
            }
            value = qint64(number);
            return true;
        }
        if (json.is_number_integer()) {
            value = json.get<std::int64_t>();
            return true;
        }
        // A peer's "3.0" is still the integer 3; "3.5" or 1e300 is not an integer.
        if (json.is_number_float()) {
            const double number = json.get<double>();
            if (std::isfinite(number) && number == std::trunc(number) && number >= -9.2e18
                && number <= 9.2e18) {
                value = qint64(number);
                return true;
            }
        }
        return false;
    }

    static bool read(const Json &json, double &value)
    {
        if (!json.is_number()) {
            return false;
        }
        value = json.get<double>();
        return std::isfinite(value);
    }

    static bool read(const Json &json, bool &value)
    {
        if (!json.is_boolean()) {
            return false;
        }
        value = json.get<bool>();
        return true;
    }

    template<class T>
    static bool read(const Json &json, QList<T> &list)
    {
        if (!json.is_array()) {
            return false;
        }
        list.clear();
        list.reserve(qsizetype(json.size()));
        for (const Json &element : json) {
            T value {};
            if (!read(element, value)) {
                return false;
            }
            list.append(std::move(value));
        }
        return true;
    }

    static bool read(const Json &json, QMap<QString, QString> &map)
    {
        if (!json.is_object()) {
            return false;
        }
        map.clear();
        for (auto it = json.begin(); it != json.end(); ++it) {
            QString value;
            if (!read(it.value(), value)) {
                return false;
            }
            map.insert(QString::fromStdString(it.key()), value);
        }
        return true;
    }

    template<class T>
    requires std::is_class_v<T>
    static bool read(const Json &json, T &nested)
    {
        if (!json.is_object()) {
            return false;
        }
        Reader inner(json);
        fields(inner, nested);
        return inner.ok;
    }

    const Json &m_in;
};

} // namespace

namespace WidgetProtocol {

std::optional<QByteArray> encode(const WidgetMessage &message)
{
    OrderedJson object = OrderedJson::object();
    Writer writer(object);
    fields(writer, message);
    if (!writer.ok) {
        return std::nullopt;
    }
    const std::string text = object.dump(-1, ' ', false, OrderedJson::error_handler_t::replace);
    return QByteArray(text.data(), qsizetype(text.size()));
}

std::optional<WidgetMessage> decode(QByteArrayView line)
{
    const Json json = Json::parse(line.begin(), line.end(), nullptr, false);
    if (json.is_discarded() || !json.is_object()) {
        return std::nullopt;
    }
    WidgetMessage message;
    Reader reader(json);
    fields(reader, message);
    if (!reader.ok) {
        return std::nullopt;
    }
    return message;
}

} // namespace WidgetProtocol
