#include "Base/UserDefaults.h"

#include "Base/Json.h"
#include "Base/ManualClock.h"
#include "TestSupport/OddFiles.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPoint>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <chrono>
#include <functional>

using namespace std::chrono_literals;

TEST(UserDefaults, TypedReadsGiveNothingForAnotherType)
{
    UserDefaults defaults;
    defaults.setValue(QStringLiteral("flag"), true);
    defaults.setValue(QStringLiteral("count"), 540);
    defaults.setValue(QStringLiteral("ratio"), 0.5);
    defaults.setValue(QStringLiteral("whole"), 3.0);
    defaults.setValue(QStringLiteral("name"), QStringLiteral("rightCommand"));
    defaults.setValue(QStringLiteral("list"), QStringList {QStringLiteral("ja")});
    defaults.setValue(QStringLiteral("blob"), QByteArray("\x00\x01", 2));
    defaults.setValue(QStringLiteral("dict"), QVariantMap {{QStringLiteral("a"), 1}});

    EXPECT_EQ(defaults.boolValue(QStringLiteral("flag")), true);
    EXPECT_EQ(defaults.boolValue(QStringLiteral("count")), std::nullopt);
    EXPECT_EQ(defaults.integer(QStringLiteral("count")), 540);
    EXPECT_EQ(defaults.integer(QStringLiteral("ratio")), std::nullopt);
    EXPECT_EQ(defaults.integer(QStringLiteral("whole")), 3);
    EXPECT_EQ(defaults.integer(QStringLiteral("flag")), std::nullopt);
    EXPECT_EQ(defaults.doubleValue(QStringLiteral("count")), 540.0);
    EXPECT_EQ(defaults.string(QStringLiteral("count")), std::nullopt);
    EXPECT_EQ(defaults.string(QStringLiteral("name")), QStringLiteral("rightCommand"));
    EXPECT_EQ(defaults.stringArray(QStringLiteral("name")), std::nullopt);
    EXPECT_EQ(defaults.stringArray(QStringLiteral("list")), QStringList {QStringLiteral("ja")});
    EXPECT_EQ(defaults.data(QStringLiteral("blob")), QByteArray("\x00\x01", 2));
    EXPECT_EQ(defaults.data(QStringLiteral("name")), std::nullopt);
    EXPECT_EQ(defaults.dictionary(QStringLiteral("dict"))->value(QStringLiteral("a")).toInt(), 1);
    EXPECT_EQ(defaults.string(QStringLiteral("missing")), std::nullopt);
}

TEST(UserDefaults, PersistsEveryTypeAcrossInstances)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("defaults.json"));
    {
        UserDefaults defaults(path);
        defaults.setValue(QStringLiteral("flag"), false);
        defaults.setValue(QStringLiteral("count"), qint64(1) << 40);
        defaults.setValue(QStringLiteral("double"), 2.0); // must stay a double, not become 2
        defaults.setValue(QStringLiteral("text"), QStringLiteral("日本語 “quoted”"));
        defaults.setValue(QStringLiteral("empty"), QStringList {});
        defaults.setValue(QStringLiteral("blob"), QByteArray("{\"$data\":1}"));
        defaults.setValue(
            QStringLiteral("dict"),
            QVariantMap {{QStringLiteral("nested"), QVariantList {1, QStringLiteral("x")}}});
        defaults.setValue(QStringLiteral("gone"), 1);
        defaults.remove(QStringLiteral("gone"));
    }
    UserDefaults reread(path);
    EXPECT_EQ(reread.boolValue(QStringLiteral("flag")), false);
    EXPECT_EQ(reread.integer(QStringLiteral("count")), qint64(1) << 40);
    EXPECT_EQ(reread.object(QStringLiteral("double")).typeId(), QMetaType::Double);
    EXPECT_EQ(reread.string(QStringLiteral("text")), QStringLiteral("日本語 “quoted”"));
    EXPECT_EQ(reread.stringArray(QStringLiteral("empty")), QStringList {});
    EXPECT_EQ(reread.data(QStringLiteral("blob")), QByteArray("{\"$data\":1}"));
    const QVariantList nested =
        reread.dictionary(QStringLiteral("dict"))->value(QStringLiteral("nested")).toList();
    ASSERT_EQ(nested.size(), 2);
    EXPECT_EQ(nested[1].toString(), QStringLiteral("x"));
    EXPECT_FALSE(reread.contains(QStringLiteral("gone")));
}

namespace {

QByteArray deeplyNested(int depth)
{
    return "{\"a\": " + QByteArray(depth, '[') + QByteArray(depth, ']') + "}";
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

// Whatever is at the path and cannot be read (also by root, who ignores file permissions) gives an
// empty store and is kept aside, as it was, before the first write puts a new file in its place.
TEST(UserDefaults, UnreadableFileStartsEmptyAndIsKeptAsideBeforeTheFirstWrite)
{
    struct Case
    {
        const char *name;
        std::function<void(const QString &path)> make;
        std::function<void(const QString &kept)> check;
    };
    const auto fileWith = [](QByteArray bytes) {
        return Case {nullptr, [bytes](const QString &path) { writeFile(path, bytes); },
                     [bytes](const QString &kept) {
                         EXPECT_EQ(readFile(kept), bytes);
                     }};
    };
    QList<Case> cases;
    cases << fileWith("{ not json") << fileWith("[1, 2]") << fileWith("")
          << fileWith(R"({"big": 1e400})") << fileWith(deeplyNested(200000));
    cases[0].name = "not JSON";
    cases[1].name = "not an object";
    cases[2].name = "empty";
    cases[3].name = "number out of range";
    cases[4].name = "nested too deeply";
    cases << Case {"a directory in its place",
                   [](const QString &path) {
                       ASSERT_TRUE(QDir().mkpath(path));
                       writeFile(path + QStringLiteral("/inside"), "kept");
                   },
                   [](const QString &kept) {
                       EXPECT_TRUE(QFileInfo(kept).isDir());
                       EXPECT_EQ(readFile(kept + QStringLiteral("/inside")), "kept");
                   }};
    // Opens, but every read fails with an I/O error.
    cases << Case {"a read that fails",
                   [](const QString &path) {
                       ASSERT_TRUE(QFile::link(QStringLiteral("/proc/self/mem"), path));
                   },
                   [](const QString &kept) {
                       EXPECT_EQ(QFileInfo(kept).symLinkTarget(), QStringLiteral("/proc/self/mem"));
                   }};
    // Neither read nor waited for: a device that never ends, a pipe, a file far past any settings.
    for (const OddFile &odd : OddFile::all()) {
        cases << Case {odd.name, odd.make, odd.isIntact};
    }

    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("defaults.json"));
        c.make(path);
        ManualClock clock(QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7), Qt::UTC));
        UserDefaults defaults(path, nullptr, clock);
        EXPECT_TRUE(defaults.keys().isEmpty());
        // Reading alone touches nothing.
        EXPECT_EQ(
            QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
            QStringList {QStringLiteral("defaults.json")});

        defaults.setValue(QStringLiteral("a"), 1);
        defaults.flush();
        const QString kept = path + QStringLiteral(".unreadable-20260304T050607Z");
        c.check(kept);
        EXPECT_EQ(UserDefaults(path).integer(QStringLiteral("a")), 1);
    }
}

TEST(UserDefaults, SettingsThatWouldOutgrowTheReadBoundAreNotWritten)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("defaults.json"));
    UserDefaults defaults(path);
    defaults.setValue(QStringLiteral("a"), 1);
    defaults.flush();
    defaults.setValue(QStringLiteral("huge"), QString(UserDefaults::maxFileBytes, u'x'));
    defaults.flush();
    EXPECT_EQ(UserDefaults(path).keys(), QStringList {QStringLiteral("a")});
    defaults.remove(QStringLiteral("huge"));
    defaults.setValue(QStringLiteral("b"), 2);
    defaults.flush();
    EXPECT_EQ(UserDefaults(path).integer(QStringLiteral("b")), 2);
}

// Typing in a settings field changes a key several times a second: the file follows at most one
// delay behind, written once per delay rather than once per keystroke, and completely at a flush.
TEST(UserDefaults, ChangesInQuickSuccessionAreWrittenTogetherAtMostOneDelayLate)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("defaults.json"));
    ManualClock clock;
    UserDefaults defaults(path, nullptr, clock);
    const auto onDisk = [&]() -> std::optional<qint64> {
        defaults.waitForWritesForTesting();
        return UserDefaults(path).integer(QStringLiteral("typed"));
    };
    static_assert(UserDefaults::writeDelay == 300ms, "the timeline below is laid out for 300 ms");

    std::vector<std::optional<qint64>> seen;
    for (int keystroke = 1; keystroke <= 10; ++keystroke) {
        defaults.setValue(QStringLiteral("typed"), keystroke);
        EXPECT_EQ(defaults.integer(QStringLiteral("typed")), keystroke);
        clock.advance(100ms);
        seen.push_back(onDisk());
    }
    const std::optional<qint64> none;
    EXPECT_EQ(seen, (std::vector<std::optional<qint64>> {none, none, 3, 3, 3, 6, 6, 6, 9, 9}));

    defaults.flush();
    EXPECT_EQ(onDisk(), 10);
    // Nothing is left to write: the timer of the last change was stopped by the flush.
    EXPECT_EQ(clock.activeTimerCount(), 0);
}

TEST(UserDefaults, UnreadableFileThatCannotBeKeptAsideIsNeverOverwritten)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("defaults.json"));
    writeFile(path, "{ \"holdKey\": \"rightShift\", broken");
    // Every name the file could be kept under is taken.
    const QString stem = path + QStringLiteral(".unreadable-20260101T090000Z");
    writeFile(stem, "older");
    for (int attempt = 2; attempt <= 100; ++attempt) {
        writeFile(stem + QLatin1Char('-') + QString::number(attempt), "older");
    }
    ManualClock clock;
    UserDefaults defaults(path, nullptr, clock);
    defaults.setValue(QStringLiteral("a"), 1);
    defaults.setValue(QStringLiteral("b"), 2);
    defaults.flush();

    // The store still works for this run; the file stays as it was.
    EXPECT_EQ(defaults.integer(QStringLiteral("b")), 2);
    EXPECT_EQ(readFile(path), "{ \"holdKey\": \"rightShift\", broken");
    EXPECT_EQ(readFile(stem), "older");
}

TEST(UserDefaults, KeepsOneAsideFilePerUnreadableFileFound)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("defaults.json"));
    ManualClock clock;
    for (const QByteArray &bytes : {QByteArray("first"), QByteArray("second")}) {
        writeFile(path, bytes);
        UserDefaults defaults(path, nullptr, clock);
        defaults.setValue(QStringLiteral("a"), 1);
        defaults.setValue(QStringLiteral("a"), 2);
    }
    const QString stem = path + QStringLiteral(".unreadable-20260101T090000Z");
    EXPECT_EQ(readFile(stem), "first");
    EXPECT_EQ(readFile(stem + QStringLiteral("-2")), "second");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 3);
    EXPECT_EQ(UserDefaults(path).integer(QStringLiteral("a")), 2);
}

// A value nested deeper than the reader accepts is refused when set, so that no write can make
// the file unreadable at the next start.
TEST(UserDefaults, ValuesNestedBeyondWhatIsReadBackAreRefused)
{
    const auto nested = [](int depth) {
        QVariant value = 1;
        for (int level = 0; level < depth; ++level) {
            value = QVariantList {value};
        }
        return value;
    };
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("defaults.json"));
    UserDefaults defaults(path);
    // The file's own object is one level.
    defaults.setValue(QStringLiteral("deepest"), nested(Json::maxNestingDepth - 1));
    defaults.setValue(QStringLiteral("deeper"), nested(Json::maxNestingDepth));

    EXPECT_TRUE(defaults.contains(QStringLiteral("deepest")));
    EXPECT_FALSE(defaults.contains(QStringLiteral("deeper")));
    defaults.flush();
    UserDefaults reread(path);
    EXPECT_EQ(reread.keys(), QStringList {QStringLiteral("deepest")});
    EXPECT_EQ(reread.object(QStringLiteral("deepest")), defaults.object(QStringLiteral("deepest")));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files),
              QStringList {QStringLiteral("defaults.json")});
}

TEST(UserDefaults, NullValuesInTheFileReadAsAbsentAndNeverBreakTheNextWrite)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("defaults.json"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"({"cleanupIntensity": null, "holdKey": "rightShift", "list": [1, null],
                  "dict": {"gone": null, "kept": true}})");
    file.close();
    UserDefaults defaults(path);
    EXPECT_FALSE(defaults.contains(QStringLiteral("cleanupIntensity")));
    EXPECT_FALSE(defaults.dictionary(QStringLiteral("dict"))->contains(QStringLiteral("gone")));
    defaults.setValue(QStringLiteral("playSounds"), false);
    defaults.flush();

    UserDefaults reread(path);
    EXPECT_EQ(reread.string(QStringLiteral("holdKey")), QStringLiteral("rightShift"));
    EXPECT_EQ(reread.boolValue(QStringLiteral("playSounds")), false);
    EXPECT_EQ(reread.object(QStringLiteral("list")).toList().size(), 2);
    EXPECT_EQ(reread.dictionary(QStringLiteral("dict"))->value(QStringLiteral("kept")).toBool(),
              true);
}

TEST(UserDefaults, NotifiesEveryChangeAndRejectsUnsupportedTypes)
{
    UserDefaults defaults;
    QSignalSpy spy(&defaults, &UserDefaults::changed);
    defaults.setValue(QStringLiteral("a"), 1);
    defaults.setValue(QStringLiteral("a"), 1);
    defaults.setValue(QStringLiteral("a"), QVariant()); // removes
    EXPECT_EQ(spy.count(), 3);
    EXPECT_FALSE(defaults.contains(QStringLiteral("a")));
    defaults.setValue(QStringLiteral("b"), QVariant::fromValue(QPoint(1, 2)));
    EXPECT_FALSE(defaults.contains(QStringLiteral("b")));
}

TEST(UserDefaults, StandardCanBeReplacedForTests)
{
    UserDefaults memory;
    UserDefaults::overrideStandard(&memory);
    UserDefaults::standard().setValue(QStringLiteral("k"), QStringLiteral("v"));
    EXPECT_EQ(memory.string(QStringLiteral("k")), QStringLiteral("v"));
    UserDefaults::overrideStandard(nullptr);
    EXPECT_NE(&UserDefaults::standard(), &memory);
    EXPECT_TRUE(UserDefaults::standard().filePath().endsWith(
        QStringLiteral("org.sonorvelle.Sonorvelle/defaults.json")));
}
