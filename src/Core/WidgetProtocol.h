#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QMap>
#include <QString>
#include <QtGlobal>

#include <optional>

// The companion widget host's wire format: every message, either way, is one compact JSON object
// on one line. The host serves many client applications, so the schema is larger than what this
// application fills or reads; every type still declares, encodes and decodes all of its fields,
// so a message a peer sends is read as a whole or rejected as a whole.
//
// Field rules shared by all types: the JSON key is the field's name; a required field is always
// written and must be present; an optional field is written only when it holds a value and reads
// as empty when missing or null; integers (colours among them, 0xRRGGBB in decimal) are JSON
// integers, numbers are JSON numbers, and keys a type does not declare are ignored.
//
// One header for the protocol's value types: they are one schema, read and written together, and
// none of them has behaviour of its own.

// The notch-area indicator of a running session.
struct WidgetEar
{
    std::optional<QString> symbol;
    QString text;
    std::optional<double> level; // 0 to 1
    std::optional<qint64> tint; // 0xRRGGBB
    qint64 priority = 0;
    std::optional<QString> sprite;
    std::optional<QString> meta;

    bool operator==(const WidgetEar &) const = default;
};

struct WidgetStatus
{
    std::optional<QString> sprite;
    std::optional<QString> text;

    bool operator==(const WidgetStatus &) const = default;
};

// A quick action the host offers as a button; its id comes back as a command's actionId.
struct WidgetAction
{
    QString id;
    QString title;
    std::optional<QString> symbol;
    std::optional<qint64> tint;
    std::optional<QString> detail;

    bool operator==(const WidgetAction &) const = default;
};

// An entry of a list the host shows; its id comes back as a command's itemId.
struct WidgetItem
{
    QString id;
    std::optional<QString> title;
    std::optional<QString> path;
    std::optional<QString> meta;
    std::optional<QString> sub;
    std::optional<qint64> tint;

    bool operator==(const WidgetItem &) const = default;
};

struct WidgetTab
{
    QString title;
    std::optional<QString> symbol;
    std::optional<QString> icon;
    double width = 0;
    double height = 0;

    bool operator==(const WidgetTab &) const = default;
};

struct WidgetAgentPresentation
{
    std::optional<QString> agent;
    QString activity;
    std::optional<QString> sprite;
    std::optional<QString> reason;
    qint64 revision = 0;
    QString sourceEpoch;
    double observedAt = 0;
    std::optional<qint64> pid;

    bool operator==(const WidgetAgentPresentation &) const = default;
};

struct WidgetPane
{
    QString id;
    QString title;
    std::optional<QList<double>> frame;
    std::optional<QString> tty;
    std::optional<WidgetAgentPresentation> agentPresentation;
    std::optional<bool> unread;
    std::optional<QString> agentSessionId;

    bool operator==(const WidgetPane &) const = default;
};

struct WidgetSession
{
    QString id;
    QString title;
    std::optional<QString> subtitle;
    std::optional<QString> thumb;
    std::optional<QString> state;
    std::optional<QList<WidgetPane>> panes;
    std::optional<QString> windowId;
    std::optional<qint64> bg;

    bool operator==(const WidgetSession &) const = default;
};

struct WidgetDecl
{
    QString id;
    QString kind;
    QString title;
    std::optional<QString> symbol;
    std::optional<qint64> minW;
    std::optional<qint64> minH;
    std::optional<qint64> maxW;
    std::optional<qint64> maxH;
    std::optional<QString> chart;

    bool operator==(const WidgetDecl &) const = default;
};

struct WidgetSnapLayout
{
    QString id;
    QString name;
    qint64 columns = 0;
    qint64 rows = 0;
    QList<QList<qint64>> zones;

    bool operator==(const WidgetSnapLayout &) const = default;
};

struct WidgetData
{
    std::optional<QString> value;
    std::optional<QString> unit;
    std::optional<QString> meta;
    std::optional<QList<double>> series;
    std::optional<QList<double>> series2;
    std::optional<double> gauge;
    std::optional<QList<QList<QString>>> breakdown;
    std::optional<qint64> seriesCap;
    std::optional<QList<double>> values;
    std::optional<qint64> valuesSplit;
    std::optional<double> pressure;
    std::optional<QList<double>> pressureSeries;
    std::optional<QList<double>> seriesLong;
    std::optional<QList<double>> series2Long;
    std::optional<QList<double>> loadSeries;
    std::optional<QList<QList<double>>> valuesSeries;
    std::optional<QList<QList<QString>>> procs;
    std::optional<qint64> procsTotal;
    std::optional<double> procsSumGB;
    std::optional<QList<double>> partsGB;
    std::optional<QMap<QString, QString>> facts;

    bool operator==(const WidgetData &) const = default;
};

// The envelope. This application sends "widget.hello" and "widget.state" and handles
// "widget.hostinfo" and "widget.command"; the other fields belong to other clients of the host.
struct WidgetMessage
{
    qint64 v = 1;
    QString type;
    QString app;
    std::optional<QString> name;
    std::optional<WidgetEar> ear;
    std::optional<QList<WidgetAction>> actions;
    std::optional<QList<WidgetItem>> items;
    std::optional<QString> itemsTitle;
    std::optional<WidgetTab> tab;
    std::optional<QList<WidgetSession>> sessions;
    std::optional<QString> actionId;
    std::optional<QString> itemId;
    std::optional<QList<double>> rect;
    std::optional<QList<WidgetDecl>> widgets;
    std::optional<QString> widgetId;
    std::optional<WidgetData> data;
    std::optional<QList<QString>> placedIds;
    std::optional<QString> text;
    std::optional<QString> lang;
    std::optional<WidgetStatus> status;
    std::optional<QString> phase;
    std::optional<QString> dragApp;
    std::optional<QString> dragTitle;
    std::optional<QString> zone;
    std::optional<QList<WidgetSnapLayout>> snapLayouts;
};

namespace WidgetProtocol {

// The message as one line of compact JSON, without the line feed. Absent when a number in it is
// not finite (JSON has no form for it).
std::optional<QByteArray> encode(const WidgetMessage &message);

// The message of one line (without its line feed). Absent when the line is not a JSON object,
// when `v`, `type` or `app` is missing or of the wrong type, when any present field has the wrong
// JSON type, or when a present nested object lacks a required field of its own.
std::optional<WidgetMessage> decode(QByteArrayView line);

} // namespace WidgetProtocol
