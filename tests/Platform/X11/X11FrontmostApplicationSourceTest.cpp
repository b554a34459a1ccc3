#include "Platform/X11/X11FrontmostApplicationSource.h"

#include "Platform/Xdg/DesktopEntries.h"
#include "TestSupport/QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QtCore/qtestsupport_core.h>

#include <gtest/gtest.h>

namespace {

// How a window is told apart from the desktop entries installed in a folder of the test's own.
class X11FrontmostApplicationSourceTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_savedDataHome = qgetenv("XDG_DATA_HOME");
        m_savedDataDirs = qgetenv("XDG_DATA_DIRS");
        qputenv("XDG_DATA_HOME", m_dir.filePath(QStringLiteral("home")).toUtf8());
        qputenv("XDG_DATA_DIRS", m_dir.filePath(QStringLiteral("system")).toUtf8());
        install(QStringLiteral("org.gnome.TextEditor"),
                "Name=Text Editor\nName[de]=Texteditor\nStartupWMClass=gnome-text-editor\n");
        install(QStringLiteral("org.kde.kate"), "Name=Kate\n");
        install(QStringLiteral("launched"), "Name=Launched\n");
        install(QStringLiteral("hinted"), "Name=Hinted\n");
        install(QStringLiteral("terminal"), "Name=Terminal\nStartupWMClass=XTerm\n");
    }

    void TearDown() override
    {
        qputenv("XDG_DATA_HOME", m_savedDataHome);
        qputenv("XDG_DATA_DIRS", m_savedDataDirs);
    }

    void install(const QString &id, const QByteArray &keys)
    {
        const QString path = desktopFile(id);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[Desktop Entry]\nType=Application\nExec=true\n" + keys);
    }

    QString desktopFile(const QString &id) const
    {
        return m_dir.filePath(QStringLiteral("system/applications/") + id
                              + QStringLiteral(".desktop"));
    }

    FrontmostApplication describe(const X11FrontmostApplicationSource::WindowProperties &window,
                                  const QHash<QString, QString> &environment = {},
                                  const QString &locale = QStringLiteral("en_US.UTF-8"))
    {
        return X11FrontmostApplicationSource::describe(window, environment, m_entries, locale);
    }

    QTemporaryDir m_dir;
    QByteArray m_savedDataHome;
    QByteArray m_savedDataDirs;
    DesktopEntries m_entries;
};

TEST_F(X11FrontmostApplicationSourceTest, WhereTheDesktopEntryComesFrom)
{
    X11FrontmostApplicationSource::WindowProperties xterm;
    xterm.instanceName = QStringLiteral("xterm");
    xterm.className = QStringLiteral("XTerm");
    xterm.pid = 300;

    const struct
    {
        const char *name;
        X11FrontmostApplicationSource::WindowProperties window;
        QHash<QString, QString> environment;
        const char *id;
    } cases[] = {
        {"launched from a desktop file",
         xterm,
         {{"GIO_LAUNCHED_DESKTOP_FILE", desktopFile(QStringLiteral("launched"))},
          {"GIO_LAUNCHED_DESKTOP_FILE_PID", "300"}},
         "launched"},
        {"an inherited launch variable is not the window's own",
         xterm,
         {{"GIO_LAUNCHED_DESKTOP_FILE", desktopFile(QStringLiteral("launched"))},
          {"GIO_LAUNCHED_DESKTOP_FILE_PID", "299"}},
         "terminal"},
        {"the window names its GTK application",
         [] {
             X11FrontmostApplicationSource::WindowProperties w;
             w.gtkApplicationID = QStringLiteral("org.gnome.TextEditor");
             w.className = QStringLiteral("Unrelated");
             return w;
         }(),
         {},
         "org.gnome.TextEditor"},
        {"the window names its desktop file (KDE)",
         [] {
             X11FrontmostApplicationSource::WindowProperties w;
             w.kdeDesktopFile = QStringLiteral("org.kde.kate");
             return w;
         }(),
         {},
         "org.kde.kate"},
        {"the window's class matches StartupWMClass", xterm, {}, "terminal"},
        {"the instance name when the class says nothing",
         [] {
             X11FrontmostApplicationSource::WindowProperties w;
             w.instanceName = QStringLiteral("gnome-text-editor");
             w.className = QStringLiteral("Nothing-known");
             return w;
         }(),
         {},
         "org.gnome.TextEditor"},
        {"a launcher's hint comes last",
         [] {
             X11FrontmostApplicationSource::WindowProperties w;
             w.className = QStringLiteral("Unknown");
             return w;
         }(),
         {{"BAMF_DESKTOP_FILE_HINT", desktopFile(QStringLiteral("hinted"))}},
         "hinted"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(describe(c.window, c.environment).bundleIdentifier, QString::fromLatin1(c.id));
    }
}

TEST_F(X11FrontmostApplicationSourceTest, NameIsTheEntrysInTheUsersLanguageElseTheClass)
{
    X11FrontmostApplicationSource::WindowProperties editor;
    editor.className = QStringLiteral("gnome-text-editor");
    editor.pid = 77;
    editor.title = QStringLiteral("notes.txt");
    const FrontmostApplication german = describe(editor, {}, QStringLiteral("de_DE.UTF-8"));
    EXPECT_EQ(german.localizedName, QStringLiteral("Texteditor"));
    EXPECT_EQ(german.bundleIdentifier, QStringLiteral("org.gnome.TextEditor"));
    EXPECT_EQ(german.processIdentifier, 77);
    EXPECT_EQ(german.windowTitle, QStringLiteral("notes.txt"));

    X11FrontmostApplicationSource::WindowProperties unknown;
    unknown.instanceName = QStringLiteral("my_tool");
    unknown.className = QStringLiteral("MyTool");
    const FrontmostApplication byClass = describe(unknown);
    EXPECT_EQ(byClass.localizedName, QStringLiteral("MyTool"));
    EXPECT_EQ(byClass.bundleIdentifier, QStringLiteral("MyTool"));

    unknown.className.clear();
    EXPECT_EQ(describe(unknown).bundleIdentifier, QStringLiteral("my_tool"));

    const FrontmostApplication nothing = describe({});
    EXPECT_FALSE(nothing.localizedName);
    EXPECT_FALSE(nothing.bundleIdentifier);
    EXPECT_FALSE(nothing.processIdentifier);
    EXPECT_FALSE(nothing.windowTitle);
}

TEST_F(X11FrontmostApplicationSourceTest, ProcessEnvironmentReadsAnotherProcesssVariables)
{
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("SONORVELLE_FOCUS_MARK"), QStringLiteral("a=b c"));
    child.setProcessEnvironment(environment);
    child.start(QStringLiteral("sleep"), {QStringLiteral("60")});
    ASSERT_TRUE(child.waitForStarted()) << "cannot start sleep(1)";

    // "Started" can be reported a moment before the child has replaced its image, until when it
    // still shows this process's environment.
    QHash<QString, QString> read;
    const bool seen = QTest::qWaitFor(
        [&] {
            read = X11FrontmostApplicationSource::processEnvironment(child.processId());
            return read.contains(QStringLiteral("SONORVELLE_FOCUS_MARK"));
        },
        5000);
    child.kill();
    child.waitForFinished();
    EXPECT_TRUE(seen);
    EXPECT_EQ(read.value(QStringLiteral("SONORVELLE_FOCUS_MARK")), QStringLiteral("a=b c"));
    EXPECT_TRUE(X11FrontmostApplicationSource::processEnvironment(-1).isEmpty());
}

} // namespace
