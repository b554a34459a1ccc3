#include "Core/Models/CleanupMode.h"

#include <gtest/gtest.h>

namespace {

TEST(CleanupMode, OnlyTheTwoCloudModesNeedTheCloud)
{
    const struct
    {
        CleanupMode mode;
        bool cloud;
    } cases[] = {
        {CleanupMode::off, false},        {CleanupMode::rules, false},
        {CleanupMode::cloud, true},       {CleanupMode::cloudRewrite, true},
        {CleanupMode::localModel, false}, // runs a model, but on the device
        {CleanupMode::appleLLM, false},   {CleanupMode::rewrite, false},
    };
    ASSERT_EQ(std::size(cases), static_cast<size_t>(RawEnum::allCases<CleanupMode>().size()));
    for (const auto &c : cases) {
        EXPECT_EQ(isCloud(c.mode), c.cloud) << qPrintable(RawEnum::rawValue(c.mode));
    }
}

} // namespace
