#pragma once

// Another application's interface as a screen reader sees it, over the AT-SPI bus: the
// application of a process, the showing objects under it with their names, roles and screen
// rectangles, so a test can find a button by what a user reads and click it where it is drawn.

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QList>
#include <QRect>
#include <QString>

#include <optional>

class AccessibleTree
{
public:
    struct Node
    {
        QString service;
        QString path;
        QString name;
        QString role;
        QRect extents;
    };

    AccessibleTree()
    {
        const QDBusMessage reply =
            call(QDBusConnection::sessionBus(), QStringLiteral("org.a11y.Bus"),
                 QStringLiteral("/org/a11y/bus"), QStringLiteral("org.a11y.Bus"),
                 QStringLiteral("GetAddress"));
        const QString address = reply.arguments().value(0).toString();
        if (!address.isEmpty()) {
            m_bus = QDBusConnection::connectToBus(address, connectionName);
        }
    }

    ~AccessibleTree()
    {
        m_bus.reset();
        QDBusConnection::disconnectFromBus(connectionName);
    }

    bool connected() const { return m_bus && m_bus->isConnected(); }

    // The showing objects of the process `pid`'s application, depth first.
    QList<Node> showing(qint64 pid)
    {
        QList<Node> nodes;
        if (!connected()) {
            return nodes;
        }
        for (const auto &[service, path] : children(registry, rootPath)) {
            const QDBusMessage owner = call(
                *m_bus, QStringLiteral("org.freedesktop.DBus"),
                QStringLiteral("/org/freedesktop/DBus"), QStringLiteral("org.freedesktop.DBus"),
                QStringLiteral("GetConnectionUnixProcessID"), {service});
            if (owner.arguments().value(0).toLongLong() == pid) {
                walk(service, path, nodes, 0);
            }
        }
        return nodes;
    }

    // The first showing object of `pid` with this name, and a role name holding `role` when given.
    std::optional<Node> find(qint64 pid, const QString &name, const QString &role = {})
    {
        for (const Node &node : showing(pid)) {
            if (node.name == name && (role.isEmpty() || node.role.contains(role))) {
                return node;
            }
        }
        return std::nullopt;
    }

private:
    static inline const QString connectionName = QStringLiteral("sonorvelle-accessible-tree");
    static inline const QString registry = QStringLiteral("org.a11y.atspi.Registry");
    static inline const QString rootPath = QStringLiteral("/org/a11y/atspi/accessible/root");
    static inline const QString accessible = QStringLiteral("org.a11y.atspi.Accessible");

    static QDBusMessage call(const QDBusConnection &bus, const QString &service,
                             const QString &path, const QString &interface, const QString &method,
                             const QVariantList &arguments = {})
    {
        QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
        message.setArguments(arguments);
        return bus.call(message, QDBus::Block, 3000);
    }

    QList<std::pair<QString, QString>> children(const QString &service, const QString &path)
    {
        QList<std::pair<QString, QString>> list;
        const QDBusMessage reply =
            call(*m_bus, service, path, accessible, QStringLiteral("GetChildren"));
        if (reply.type() != QDBusMessage::ReplyMessage) {
            return list;
        }
        const QDBusArgument array = reply.arguments().value(0).value<QDBusArgument>();
        array.beginArray();
        while (!array.atEnd()) {
            QString childService;
            QDBusObjectPath childPath;
            array.beginStructure();
            array >> childService >> childPath;
            array.endStructure();
            list.append({childService, childPath.path()});
        }
        array.endArray();
        return list;
    }

    QVariant property(const QString &service, const QString &path, const QString &name)
    {
        const QDBusMessage reply =
            call(*m_bus, service, path, QStringLiteral("org.freedesktop.DBus.Properties"),
                 QStringLiteral("Get"), {accessible, name});
        return reply.arguments().value(0).value<QDBusVariant>().variant();
    }

    bool isShowing(const QString &service, const QString &path)
    {
        // Two 32-bit words of state bits; "showing" is bit 25 of the first.
        const QDBusMessage reply =
            call(*m_bus, service, path, accessible, QStringLiteral("GetState"));
        if (reply.type() != QDBusMessage::ReplyMessage) {
            return false;
        }
        const QDBusArgument array = reply.arguments().value(0).value<QDBusArgument>();
        QList<uint> words;
        array.beginArray();
        while (!array.atEnd()) {
            uint word = 0;
            array >> word;
            words << word;
        }
        array.endArray();
        return !words.isEmpty() && (words.first() & (1u << 25));
    }

    QRect extents(const QString &service, const QString &path)
    {
        const QDBusMessage reply =
            call(*m_bus, service, path, QStringLiteral("org.a11y.atspi.Component"),
                 QStringLiteral("GetExtents"), {QVariant::fromValue(uint(0))});
        if (reply.type() != QDBusMessage::ReplyMessage) {
            return {};
        }
        const QDBusArgument box = reply.arguments().value(0).value<QDBusArgument>();
        int x = 0;
        int y = 0;
        int width = 0;
        int height = 0;
        box.beginStructure();
        box >> x >> y >> width >> height;
        box.endStructure();
        return QRect(x, y, width, height);
    }

    void walk(const QString &service, const QString &path, QList<Node> &nodes, int depth)
    {
        // The application object itself is never "showing"; its windows and their content are.
        if (depth > 40 || (depth > 0 && !isShowing(service, path))) {
            return;
        }
        Node node;
        node.service = service;
        node.path = path;
        node.name = property(service, path, QStringLiteral("Name")).toString();
        const QDBusMessage role =
            call(*m_bus, service, path, accessible, QStringLiteral("GetRoleName"));
        node.role = role.arguments().value(0).toString();
        node.extents = extents(service, path);
        nodes.append(node);
        for (const auto &[childService, childPath] : children(service, path)) {
            walk(childService, childPath, nodes, depth + 1);
        }
    }

    std::optional<QDBusConnection> m_bus;
};
