#include "Core/TextCleanup/PassthroughCleanup.h"

#include <gtest/gtest.h>

#include <QCoro/QCoroTask>

#include "TestSupport/QtPrinters.h"

TEST(PassthroughCleanup, KeepsTheTextAsItIs)
{
    const PassthroughCleanup stage;
    EXPECT_EQ(stage.name(), QStringLiteral("off"));

    CleanupContext context;
    context.localeIdentifier = QStringLiteral("en-US");
    const QString text = QStringLiteral("  Um, the the cat ,\n\n\n ");
    EXPECT_EQ(QCoro::waitFor(stage.cleanup(text, context)), text);
    EXPECT_EQ(QCoro::waitFor(stage.cleanup(QString(), context)), QString());
}
