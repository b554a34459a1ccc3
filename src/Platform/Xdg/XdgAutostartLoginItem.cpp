#include "Platform/Xdg/XdgAutostartLoginItem.h"

#include "Base/AppInfo.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

// The Exec key quotes an argument with a blank or a reserved character; inside the quotes a
// backslash, a double quote, a backquote and a dollar sign are escaped with a backslash. The
// desktop-file reader then unescapes backslashes once more, hence the doubled backslash.
QString execArgument(const QString &path)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool needsQuotes = false;
    for (const QChar c : path) {
        if (reserved.contains(c)) {
            needsQuotes = true;
            break;
        }
    }
    QString escaped = path;
    escaped.replace(u'%', QStringLiteral("%%"));
    if (!needsQuotes) {
        return escaped;
    }
    QString quoted;
    for (const QChar c : escaped) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\') {
            quoted += u'\\';
        }
        quoted += c;
    }
    quoted.replace(u'\\', QStringLiteral("\\\\"));
    return u'"' + quoted + u'"';
}

} // namespace

XdgAutostartLoginItem::XdgAutostartLoginItem()
    : XdgAutostartLoginItem(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                                + QStringLiteral("/autostart"),
                            QCoreApplication::applicationFilePath())
{ }

XdgAutostartLoginItem::XdgAutostartLoginItem(QString autostartFolder, QString executablePath)
    : m_folder(std::move(autostartFolder))
    , m_executable(std::move(executablePath))
{ }

QString XdgAutostartLoginItem::entryPath() const
{
    return m_folder + u'/' + AppInfo::bundleIdentifier() + QStringLiteral(".desktop");
}

bool XdgAutostartLoginItem::registerItem(QString &error)
{
    if (m_executable.isEmpty()) {
        error = QStringLiteral("the path of the executable is unknown");
        return false;
    }
    if (m_executable.contains(u'\n') || m_executable.contains(u'\r')) {
        error = QStringLiteral("the path of the executable cannot be written in a desktop entry");
        return false;
    }
    if (!QDir().mkpath(m_folder)) {
        error = QStringLiteral("cannot create the folder %1").arg(m_folder);
        return false;
    }
    const QString entry = QStringLiteral("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=Sonorvelle\n"
                                         "Exec=%1\n"
                                         "Terminal=false\n"
                                         "X-GNOME-Autostart-enabled=true\n")
                              .arg(execArgument(m_executable));
    QSaveFile file(entryPath());
    if (!file.open(QIODevice::WriteOnly)) {
        error = file.errorString();
        return false;
    }
    file.write(entry.toUtf8());
    if (!file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
}

bool XdgAutostartLoginItem::unregisterItem(QString &error)
{
    QFile file(entryPath());
    if (!file.exists()) {
        return true;
    }
    if (!file.remove()) {
        error = file.errorString();
        return false;
    }
    return true;
}
