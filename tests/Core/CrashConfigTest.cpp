#include "Core/CrashConfig.h"

#include "Base/UserDefaults.h"
#include "TestSupport/QtPrinters.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

#include <atomic>
#include <thread>
#include <vector>

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

// The usage reporter and the crash reporter may both ask first, from different threads: one
// identifier is made, stored once, and handed to both.
TEST(CrashConfigTest, TwoFirstReadersAtOnceGetOneIdentifier)
{
    for (int round = 0; round < 20; ++round) {
        UserDefaults defaults;
        std::atomic<int> stores = 0;
        QObject::connect(
            &defaults, &UserDefaults::changed, &defaults, [&] { ++stores; }, Qt::DirectConnection);
        constexpr int readers = 8;
        std::vector<QString> seen(readers);
        std::atomic<int> ready = 0;
        std::vector<std::thread> threads;
        for (int i = 0; i < readers; ++i) {
            threads.emplace_back([&, i] {
                ++ready;
                while (ready.load() < readers) { }
                seen[size_t(i)] = CrashConfig::installID(defaults);
            });
        }
        for (auto &thread : threads) {
            thread.join();
        }
        for (const QString &id : seen) {
            EXPECT_EQ(id, seen[0]);
        }
        EXPECT_EQ(defaults.string(kKey), seen[0]);
        EXPECT_EQ(stores.load(), 1) << "stored once";
    }
}

} // namespace
