#include "Support/FrameworkLanguage.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// Fixture folders hold copies of Qt's real catalogues (a catalogue must load to count), renamed
// to the names each case needs. They come from Debian's qt6-translations-l10n.
class FrameworkLanguageTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QFile::exists(qtCatalogue("de")))
            << "Qt's translations are missing from "
            << FrameworkLanguage::catalogueFolder().toStdString()
            << ": install the package qt6-translations-l10n";
        ASSERT_TRUE(m_folder.isValid());
        FrameworkLanguage::setCode(std::nullopt);
    }

    void TearDown() override { FrameworkLanguage::setCode(std::nullopt); }

    static QString qtCatalogue(const char *language)
    {
        return QDir(FrameworkLanguage::catalogueFolder())
            .filePath(QStringLiteral("qtbase_%1.qm").arg(QLatin1StringView(language)));
    }

    // Puts Qt's catalogue of `language` into the fixture folder under `fileName`.
    void put(const QString &fileName, const char *language)
    {
        ASSERT_TRUE(QFile::copy(qtCatalogue(language), path(fileName))) << fileName.toStdString();
    }

    QString path(const QString &fileName) const { return QDir(m_folder.path()).filePath(fileName); }
    QString folder() const { return m_folder.path(); }

    QString cancelText() const
    {
        return FrameworkLanguage::translate(folder(), "QPlatformTheme", "Cancel");
    }

    QTemporaryDir m_folder;
};

TEST_F(FrameworkLanguageTest, CandidatesAreTriedInOrder)
{
    struct Row
    {
        std::vector<std::pair<QString, const char *>> files; // file name, catalogue copied
        const char *code;
        const char *expected; // matched candidate, or nullptr for none
    };
    const std::vector<Row> rows = {
        {{{"qt_pt_BR.qm", "pt_BR"}, {"qt_pt.qm", "de"}}, "pt-BR", "pt_BR"},
        {{{"qt_pt.qm", "pt_BR"}}, "pt-BR", "pt"},
        {{{"qt_zh_CN.qm", "zh_CN"}, {"qt_zh.qm", "zh_TW"}}, "zh-Hans", "zh_CN"},
        {{{"qt_zh.qm", "zh_CN"}}, "zh-Hans", "zh"},
        {{{"qt_zh_TW.qm", "zh_TW"}, {"qt_zh_CN.qm", "zh_CN"}}, "zh-Hant", "zh_TW"},
        {{{"qt_ja.qm", "ja"}}, "zh-Hans", nullptr},
        {{{"qt_en.qm", "en"}}, "en", "en"},
        {{}, "en", "Base"},
        {{}, "de", nullptr},
        {{{"qtbase_de.qm", "de"}}, "de", "de"},
        {{{"qt_ja.qm", "ja"}, {"qt_de.qm", "de"}}, "ja", "ja"},
    };
    for (const Row &row : rows) {
        QTemporaryDir caseFolder;
        const QString code = QString::fromLatin1(row.code);
        SCOPED_TRACE(code.toStdString() + " expecting " + (row.expected ? row.expected : "none"));
        for (const auto &[fileName, language] : row.files) {
            ASSERT_TRUE(
                QFile::copy(qtCatalogue(language), QDir(caseFolder.path()).filePath(fileName)));
        }
        const auto found = FrameworkLanguage::lproj(caseFolder.path(), code);
        if (!row.expected) {
            EXPECT_FALSE(found.has_value());
            continue;
        }
        ASSERT_TRUE(found.has_value());
        EXPECT_EQ(found->name, QString::fromLatin1(row.expected));
        EXPECT_EQ(found->translator == nullptr, found->name == QStringLiteral("Base"));
    }
}

TEST_F(FrameworkLanguageTest, AFileThatDoesNotLoadIsPassedOver)
{
    QFile broken(path("qt_zh_CN.qm"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("not a catalogue");
    broken.close();
    put("qt_zh.qm", "zh_CN");

    const auto found = FrameworkLanguage::lproj(folder(), "zh-Hans");
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->name, QStringLiteral("zh"));
}

TEST_F(FrameworkLanguageTest, HitsAreKeptAndMissesSearchedAgain)
{
    // A miss is not remembered: once the catalogue appears, it is found.
    EXPECT_FALSE(FrameworkLanguage::lproj(folder(), "ja").has_value());
    put("qt_ja.qm", "ja");
    const auto found = FrameworkLanguage::lproj(folder(), "ja");
    ASSERT_TRUE(found.has_value());

    // A hit is remembered for the folder and code, even after the file is gone.
    ASSERT_TRUE(QFile::remove(path("qt_ja.qm")));
    const auto again = FrameworkLanguage::lproj(folder(), "ja");
    ASSERT_TRUE(again.has_value());
    EXPECT_EQ(again->filePath, found->filePath);
    EXPECT_EQ(again->translator, found->translator);

    // The same folder with another code is a separate entry.
    EXPECT_FALSE(FrameworkLanguage::lproj(folder(), "ko").has_value());
}

TEST_F(FrameworkLanguageTest, TextsFollowTheOverrideCode)
{
    put("qt_ja.qm", "ja");
    put("qt_de.qm", "de");

    EXPECT_EQ(cancelText(), QString()) << "without a code Qt answers on its own";

    FrameworkLanguage::setCode(QStringLiteral("ja"));
    EXPECT_EQ(cancelText(), QStringLiteral("キャンセル"));

    FrameworkLanguage::setCode(QStringLiteral("de"));
    EXPECT_EQ(cancelText(), QStringLiteral("Abbrechen"));

    // The Japanese catalogue stays known after the switch.
    ASSERT_TRUE(QFile::remove(path("qt_ja.qm")));
    EXPECT_TRUE(FrameworkLanguage::lproj(folder(), "ja").has_value());

    // A code without a catalogue leaves the text to Qt; English needs none.
    FrameworkLanguage::setCode(QStringLiteral("ko"));
    EXPECT_EQ(cancelText(), QString());
    FrameworkLanguage::setCode(QStringLiteral("en"));
    EXPECT_EQ(cancelText(), QString());
}

TEST_F(FrameworkLanguageTest, QtsOwnTextsFollowOnceInstalled)
{
    EXPECT_TRUE(FrameworkLanguage::installOnce());
    EXPECT_TRUE(FrameworkLanguage::installOnce());

    FrameworkLanguage::setCode(QStringLiteral("de"));
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Abbrechen"));
    FrameworkLanguage::setCode(QStringLiteral("zh-Hans"));
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("取消"));
    FrameworkLanguage::setCode(std::nullopt);
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Cancel"));
}

} // namespace
