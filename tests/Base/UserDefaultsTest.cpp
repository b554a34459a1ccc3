#include "Base/UserDefaults.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QPoint>
#include <QSignalSpy>
#include <QTemporaryDir>

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

TEST(UserDefaults, CorruptFileStartsEmptyAndIsKeptAsideBeforeTheNextWrite)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("defaults.json"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("{ not json");
    file.close();
    UserDefaults defaults(path);
    EXPECT_TRUE(defaults.keys().isEmpty());
    defaults.setValue(QStringLiteral("a"), 1);
    EXPECT_EQ(UserDefaults(path).integer(QStringLiteral("a")), 1);

    const QStringList aside =
        QDir(dir.path()).entryList({QStringLiteral("defaults.json.unreadable-*")}, QDir::Files);
    ASSERT_EQ(aside.size(), 1);
    QFile kept(dir.filePath(aside.first()));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("{ not json"));
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
