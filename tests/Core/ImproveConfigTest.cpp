#include "Core/ImproveConfig.h"

#include "Base/UserDefaults.h"

#include <QVariant>

#include <gtest/gtest.h>

TEST(ImproveConfig, OnlyAStoredFalseTurnsSharingOff)
{
    struct Case
    {
        const char *name;
        QVariant stored;
        bool enabled;
    };
    const QList<Case> cases = {
        {"absent", QVariant(), true}, {"true", true, true},
        {"false", false, false},      {"a text", QStringLiteral("false"), true},
        {"a number", 0, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        UserDefaults defaults;
        defaults.setValue(QStringLiteral("improveDataSharing"), c.stored);
        EXPECT_EQ(ImproveConfig::enabled(defaults), c.enabled);
    }
}
