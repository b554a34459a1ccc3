#include "Platform/Qt/MessageBoxAlert.h"

#include "TestSupport/QtPrinters.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <QCoro/QCoroTask>
#include <gtest/gtest.h>

#include <optional>

namespace {

QMessageBox *openAlert()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *box = qobject_cast<QMessageBox *>(widget); box && box->isVisible()) {
            return box;
        }
    }
    return nullptr;
}

// The alert is shown without a nested event loop: the caller's loop keeps running while it waits,
// and the chosen button's index comes back.
TEST(MessageBoxAlert, ShowsTheTextsAndAnswersWithTheChosenButton)
{
    MessageBoxAlert alert;
    struct Case
    {
        int click; // -1: close with Escape
        int expected;
    };
    for (const Case c : {Case {0, 0}, Case {1, 1}, Case {-1, 1}}) {
        std::optional<int> answer;
        QCoro::connect(alert.run({QStringLiteral("Title text"),
                                  QStringLiteral("Body text"),
                                  {QStringLiteral("Sign in"), QStringLiteral("Later")}}),
                       qApp, [&](int chosen) { answer = chosen; });
        QMessageBox *box = nullptr;
        ASSERT_TRUE(QTest::qWaitFor([&] { return (box = openAlert()) != nullptr; }, 2000));
        EXPECT_FALSE(answer.has_value()) << "answered before the user chose";
        EXPECT_EQ(box->text(), QStringLiteral("Title text"));
        EXPECT_EQ(box->informativeText(), QStringLiteral("Body text"));
        const QList<QAbstractButton *> buttons = box->buttons();
        ASSERT_EQ(buttons.size(), 2);
        QAbstractButton *signIn = nullptr;
        QAbstractButton *later = nullptr;
        for (QAbstractButton *button : buttons) {
            (button->text() == QStringLiteral("Sign in") ? signIn : later) = button;
        }
        ASSERT_TRUE(signIn && later);
        EXPECT_EQ(box->defaultButton(), signIn);

        if (c.click == 0) {
            signIn->click();
        } else if (c.click == 1) {
            later->click();
        } else {
            QTest::keyClick(box, Qt::Key_Escape);
        }
        ASSERT_TRUE(QTest::qWaitFor([&] { return answer.has_value(); }, 2000));
        EXPECT_EQ(*answer, c.expected) << "click " << c.click;
        QTest::qWait(10);
        EXPECT_EQ(openAlert(), nullptr);
    }
}

} // namespace
