#include "Platform/Appcast/VersionComparator.h"

#include "TestSupport/QtPrinters.h"

#include <gtest/gtest.h>

namespace {

TEST(VersionComparatorTest, Order)
{
    const struct
    {
        const char *older;
        const char *newer;
    } ordered[] = {
        {"1.9", "1.10"},
        {"1.0", "1.0.1"},
        {"1.0b1", "1.0"},
        {"1.0b1", "1.0b2"},
        {"1.0a3", "1.0b1"},
        {"2", "10"},
        {"0.1.0", "0.2"},
        {"1.0.9", "1.1"},
        {"99999999999999999998", "99999999999999999999"}, // beyond 64 bits
        {"41", "42"},
    };
    for (const auto &test : ordered) {
        const QString older = QString::fromLatin1(test.older);
        const QString newer = QString::fromLatin1(test.newer);
        EXPECT_LT(VersionComparator::compare(older, newer), 0) << test.older << " < " << test.newer;
        EXPECT_GT(VersionComparator::compare(newer, older), 0) << test.newer << " > " << test.older;
    }
}

TEST(VersionComparatorTest, SameVersion)
{
    const struct
    {
        const char *a;
        const char *b;
    } same[] = {
        {"1.0", "1.0"}, {"1.0", "1.0.0"}, {"010", "10"}, {"2", "2.0.0.0"}, {"", ""},
    };
    for (const auto &test : same) {
        EXPECT_EQ(
            VersionComparator::compare(QString::fromLatin1(test.a), QString::fromLatin1(test.b)), 0)
            << test.a << " == " << test.b;
        EXPECT_EQ(
            VersionComparator::compare(QString::fromLatin1(test.b), QString::fromLatin1(test.a)), 0)
            << test.b << " == " << test.a;
    }
}

} // namespace
