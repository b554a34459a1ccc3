#include "Core/CrashConfig.h"

#include "Base/UserDefaults.h"
#include "TestSupport/QtPrinters.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

namespace {

const QString kKey = QStringLiteral("crashInstallID");

bool isUpperCaseUuid(const QString &text)
{
    static const QRegularExpression pattern(
        QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"));
    return pattern.match(text).hasMatch();
}

TEST(CrashConfigTest, StoredIdentifierIsReturnedAsIs)
{
    UserDefaults defaults;
    defaults.setValue(kKey, QStringLiteral("0F8FAD5B-D9CB-469F-A165-70867728950E"));
    EXPECT_EQ(CrashConfig::installID(defaults),
              QStringLiteral("0F8FAD5B-D9CB-469F-A165-70867728950E"));
}

TEST(CrashConfigTest, MissingOrEmptyIdentifierIsCreatedOnceAndStored)
{
    for (const QVariant &stored : {QVariant(), QVariant(QString()), QVariant(42)}) {
        UserDefaults defaults;
        defaults.setValue(kKey, stored);
        const QString created = CrashConfig::installID(defaults);
        EXPECT_TRUE(isUpperCaseUuid(created)) << created.toStdString();
        EXPECT_EQ(defaults.string(kKey), created);
        EXPECT_EQ(CrashConfig::installID(defaults), created);
    }
}

} // namespace
