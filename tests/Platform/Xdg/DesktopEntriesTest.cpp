#include "Platform/Xdg/DesktopEntries.h"

#include "TestSupport/QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

namespace {

QByteArray application(const QByteArray &name, const QByteArray &extra = QByteArray())
{
    return "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=true\n" + extra;
}

TEST(DesktopEntry, ParsesTheMainGroupOnly)
{
    const QByteArray contents = "# comment\n"
                                "[Desktop Entry]\n"
                                "Type=Application\n"
                                "Name = Text\\sEditor\n"
                                "Name[de]=Texteditor\n"
                                "Name[pt_BR]=Editor de texto\n"
                                "StartupWMClass=gnome-text-editor\n"
                                "NoDisplay=true\n"
                                "[Desktop Action new-window]\n"
                                "Name=New Window\n"
                                "StartupWMClass=other\n";
    const std::optional<DesktopEntry> entry =
        DesktopEntry::parse(contents, QStringLiteral("org.gnome.TextEditor"), QStringLiteral("/x"));
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->id, QStringLiteral("org.gnome.TextEditor"));
    EXPECT_EQ(entry->name, QStringLiteral("Text Editor"));
    EXPECT_EQ(entry->startupWMClass, QStringLiteral("gnome-text-editor"));
    EXPECT_TRUE(entry->noDisplay);
    EXPECT_EQ(entry->localizedNames.value(QStringLiteral("pt_BR")),
              QStringLiteral("Editor de texto"));
}

TEST(DesktopEntry, RejectsWhatIsNotAnApplication)
{
    const QByteArray cases[] = {
        "[Desktop Entry]\nType=Link\nName=Site\nURL=https://example.org\n",
        "[Desktop Entry]\nType=Application\nName=Gone\nHidden=true\n",
        "[Desktop Entry]\nType=Application\n", // no name
        "[Other Group]\nType=Application\nName=Lost\n",
        "",
    };
    for (const QByteArray &contents : cases) {
        SCOPED_TRACE(contents.toStdString());
        EXPECT_FALSE(DesktopEntry::parse(contents, QStringLiteral("x"), QStringLiteral("/x")));
    }
}

TEST(DesktopEntry, LocalizedNameFollowsTheLocaleMatchingOrder)
{
    DesktopEntry entry;
    entry.name = QStringLiteral("Plain");
    entry.localizedNames = {{QStringLiteral("sr_RS@latin"), QStringLiteral("country+modifier")},
                            {QStringLiteral("sr_RS"), QStringLiteral("country")},
                            {QStringLiteral("sr@latin"), QStringLiteral("modifier")},
                            {QStringLiteral("sr"), QStringLiteral("language")},
                            {QStringLiteral("de"), QStringLiteral("Deutsch")}};
    const struct
    {
        const char *locale;
        const char *name;
    } cases[] = {
        {"sr_RS.UTF-8@latin", "country+modifier"},
        {"sr_RS.UTF-8", "country"},
        {"sr_ME@latin", "modifier"},
        {"sr_ME", "language"},
        {"de_AT.UTF-8", "Deutsch"},
        {"fr_FR.UTF-8", "Plain"},
        {"C", "Plain"},
        {"", "Plain"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.locale);
        EXPECT_EQ(entry.localizedName(QString::fromLatin1(c.locale)), QString::fromUtf8(c.name));
    }
}

// Application folders of its own: a user folder first, then two system folders.
class DesktopEntriesTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_savedDataHome = qgetenv("XDG_DATA_HOME");
        m_savedDataDirs = qgetenv("XDG_DATA_DIRS");
        qputenv("XDG_DATA_HOME", m_dir.filePath(QStringLiteral("home")).toUtf8());
        qputenv("XDG_DATA_DIRS",
                (m_dir.filePath(QStringLiteral("local")) + QStringLiteral(":")
                 + m_dir.filePath(QStringLiteral("system")))
                    .toUtf8());
    }

    void TearDown() override
    {
        qputenv("XDG_DATA_HOME", m_savedDataHome);
        qputenv("XDG_DATA_DIRS", m_savedDataDirs);
    }

    QString write(const QString &base, const QString &relativePath, const QByteArray &contents)
    {
        const QString path = m_dir.filePath(base + QStringLiteral("/applications/") + relativePath);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(contents);
        return path;
    }

    // Moves a folder's modification time on, as a change a second later would.
    void touchFolder(const QString &base)
    {
        const std::filesystem::path folder =
            m_dir.filePath(base + QStringLiteral("/applications")).toStdString();
        std::filesystem::last_write_time(
            folder, std::filesystem::last_write_time(folder) + std::chrono::seconds(1));
    }

    QTemporaryDir m_dir;
    QByteArray m_savedDataHome;
    QByteArray m_savedDataDirs;
    DesktopEntries m_entries;
};

TEST_F(DesktopEntriesTest, FoldersComeInLookupOrder)
{
    EXPECT_EQ(DesktopEntries::applicationFolders(),
              (QStringList {m_dir.filePath(QStringLiteral("home/applications")),
                            m_dir.filePath(QStringLiteral("local/applications")),
                            m_dir.filePath(QStringLiteral("system/applications"))}));
}

TEST_F(DesktopEntriesTest, FindsByIdWithEarlierFoldersHidingLaterOnes)
{
    write(QStringLiteral("system"), QStringLiteral("firefox.desktop"), application("Firefox"));
    write(QStringLiteral("home"), QStringLiteral("firefox.desktop"), application("My Firefox"));
    write(QStringLiteral("system"), QStringLiteral("kde/kate.desktop"), application("Kate"));
    write(QStringLiteral("system"), QStringLiteral("gone.desktop"), application("Gone"));
    write(QStringLiteral("home"), QStringLiteral("gone.desktop"),
          "[Desktop Entry]\nType=Application\nName=Gone\nHidden=true\n");

    EXPECT_EQ(m_entries.find(QStringLiteral("firefox"))->name, QStringLiteral("My Firefox"));
    EXPECT_EQ(m_entries.find(QStringLiteral("firefox.desktop"))->name,
              QStringLiteral("My Firefox"));
    EXPECT_EQ(m_entries.find(QStringLiteral("kde-kate"))->name, QStringLiteral("Kate"));
    EXPECT_FALSE(m_entries.find(QStringLiteral("gone")));
    EXPECT_FALSE(m_entries.find(QStringLiteral("missing")));
    EXPECT_FALSE(m_entries.find(QString()));
}

TEST_F(DesktopEntriesTest, FindsByWindowClassInRuleOrder)
{
    write(QStringLiteral("system"), QStringLiteral("org.gnome.gedit.desktop"),
          application("Gedit"));
    write(QStringLiteral("system"), QStringLiteral("code.desktop"),
          application("Visual Studio Code", "StartupWMClass=Code\n"));
    write(QStringLiteral("system"), QStringLiteral("code-url-handler.desktop"),
          application("Code URL Handler", "StartupWMClass=Code\nNoDisplay=true\n"));
    write(QStringLiteral("system"), QStringLiteral("firefox.desktop"), application("Firefox"));
    write(QStringLiteral("system"), QStringLiteral("tool.desktop"),
          application("Tool", "StartupWMClass=ToolWindow\n"));

    const struct
    {
        const char *windowClass;
        const char *id; // empty: none
    } cases[] = {
        {"Code", "code"}, // StartupWMClass, the listed entry over the unlisted one
        {"Firefox", "firefox"}, // id ignoring case
        {"toolwindow", "tool"}, // StartupWMClass ignoring case
        {"Gedit", "org.gnome.gedit"}, // last part of a reverse-DNS id
        {"Unknown", ""},
        {"", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.windowClass);
        const std::optional<DesktopEntry> entry =
            m_entries.findByWindowClass(QString::fromLatin1(c.windowClass));
        EXPECT_EQ(entry ? entry->id : QString(), QString::fromLatin1(c.id));
    }
}

TEST_F(DesktopEntriesTest, FromFileGivesTheIdBelowAFolderOrTheFileName)
{
    const QString below =
        write(QStringLiteral("local"), QStringLiteral("sub/app.desktop"), application("App"));
    EXPECT_EQ(m_entries.fromFile(below)->id, QStringLiteral("sub-app"));

    const QString elsewhere = m_dir.filePath(QStringLiteral("launcher/Portable.desktop"));
    QDir().mkpath(QFileInfo(elsewhere).absolutePath());
    QFile file(elsewhere);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(application("Portable"));
    file.close();
    EXPECT_EQ(m_entries.fromFile(elsewhere)->id, QStringLiteral("Portable"));
    EXPECT_FALSE(m_entries.fromFile(QStringLiteral("relative.desktop")));
    EXPECT_FALSE(m_entries.fromFile(m_dir.filePath(QStringLiteral("missing.desktop"))));
}

TEST_F(DesktopEntriesTest, SeesEntriesAddedLater)
{
    write(QStringLiteral("system"), QStringLiteral("first.desktop"), application("First"));
    ASSERT_TRUE(m_entries.find(QStringLiteral("first")));
    EXPECT_FALSE(m_entries.find(QStringLiteral("second")));

    write(QStringLiteral("system"), QStringLiteral("second.desktop"), application("Second"));
    touchFolder(QStringLiteral("system"));
    EXPECT_EQ(m_entries.find(QStringLiteral("second"))->name, QStringLiteral("Second"));
}

} // namespace
