#include "Platform/Atspi/AtspiAccessibility.h"

#include <gtest/gtest.h>

namespace {

TEST(AtspiAccessibility, TellsUtf16CountsFromCodePointCounts)
{
    const QString mixed = QStringLiteral("a😀b中文c"); // 7 code units, 6 code points
    const QString plain = QStringLiteral("中文 text"); // 7 of both
    EXPECT_TRUE(AtspiAccessibility::countsUtf16CodeUnits(mixed, 7));
    EXPECT_FALSE(AtspiAccessibility::countsUtf16CodeUnits(mixed, 6));
    // Without characters outside the first plane both counts agree and nothing needs turning.
    EXPECT_FALSE(AtspiAccessibility::countsUtf16CodeUnits(plain, 7));
    // A count that fits neither (the text changed between the two requests) is taken as code
    // points, the protocol's own unit.
    EXPECT_FALSE(AtspiAccessibility::countsUtf16CodeUnits(mixed, 9));
}

} // namespace
