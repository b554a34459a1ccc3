#include "UI/Pills/CapsuleSegmentedControl.h"
#include "UI/Pills/PillTheme.h"
#include "UI/Pills/SettingsTheme.h"

#include "TestSupport/QuickItems.h"

#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>
#include <QSignalSpy>
#include <QTest>
#include <QtGui/qaccessible.h>

#include <gtest/gtest.h>

namespace {

// A window holding one scene written in QML over the settings window's components; every QML
// warning is kept, and a test fails on any.
struct Scene
{
    QQuickView view;
    QStringList warnings;
    std::unique_ptr<QQuickItem> root;

    explicit Scene(const QByteArray &body)
    {
        QObject::connect(view.engine(), &QQmlEngine::warnings, [this](const QList<QQmlError> &e) {
            for (const QQmlError &error : e) {
                warnings << error.toString();
            }
        });
        QQmlComponent component(view.engine());
        component.setData("import QtQuick\nimport Sonorvelle.Pills\n" + body,
                          QUrl(QStringLiteral("qrc:/test/Scene.qml")));
        root.reset(qobject_cast<QQuickItem *>(component.create()));
        for (const QQmlError &error : component.errors()) {
            warnings << error.toString();
        }
        if (!root) {
            return;
        }
        root->setParentItem(view.contentItem());
        view.resize(400, 300);
        view.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&view));
        settle();
    }

    ~Scene()
    {
        root.reset();
        EXPECT_TRUE(warnings.isEmpty()) << warnings.join('\n').toStdString();
    }

    void settle()
    {
        QCoreApplication::processEvents();
        QTest::qWait(1);
        QCoreApplication::processEvents();
    }

    QQuickItem *item(const char *name)
    {
        return findVisible(view.contentItem(), QString::fromLatin1(name));
    }

    // A real press and release at `local` of `target`, through the window's hit-testing.
    void click(QQuickItem *target, QPointF local)
    {
        ASSERT_NE(target, nullptr);
        QTest::mouseClick(&view, Qt::LeftButton, {}, target->mapToScene(local).toPoint());
        settle();
    }
    void clickCentre(QQuickItem *target)
    {
        ASSERT_NE(target, nullptr);
        click(target, QPointF(target->width() / 2, target->height() / 2));
    }
};

QStringList visibleMenuLabels(QQuickItem *root, QList<bool> *checked = nullptr,
                              qreal *menuWidth = nullptr)
{
    QStringList labels;
    QQuickItem *first = findVisible(root, QStringLiteral("option_1"));
    if (!first) {
        return labels;
    }
    if (menuWidth) {
        *menuWidth = first->width();
    }
    for (const char *value : {"1", "2", "3"}) {
        if (QQuickItem *entry =
                findVisible(root, QStringLiteral("option_") + QLatin1String(value))) {
            labels << entry->property("text").toString();
            if (checked) {
                checked->append(entry->property("checked").toBool());
            }
        }
    }
    return labels;
}

const QByteArray dropdownScene = R"(
Item {
    width: 400; height: 300
    property int chosen: -2
    PulldownPill {
        objectName: "pill"
        x: 20; y: 20; width: 140; height: 28
        options: [{value: 1, label: "One"}, {value: 2, label: "Two"}, {value: 3, label: "Three"}]
        currentIndex: 1
        accessibleName: "Count"
        onActivated: (index) => { parent.chosen = index; currentIndex = index }
    }
    PulldownPill {
        objectName: "unmatched"
        x: 20; y: 80; width: 140; height: 28
        options: [{value: 1, label: "One"}]
        currentIndex: -1
    }
    PulldownPill {
        objectName: "faded"
        x: 200; y: 20; width: 140; height: 28
        opacity: 0.005
        options: [{value: 1, label: "One"}]
    }
}
)";

} // namespace

TEST(PulldownPill, ShowsTheSelectedLabelAndAnyClickOnThePillOpensACheckedMenu)
{
    Scene scene(dropdownScene);
    QQuickItem *pill = scene.item("pill");
    ASSERT_NE(pill, nullptr);
    EXPECT_EQ(pill->property("label").toString(), QStringLiteral("Two"));
    EXPECT_EQ(pill->property("radius").toReal(), 7);

    // A click on the chevron's spot opens it as well as one on the label.
    scene.click(pill, QPointF(pill->width() - 12, pill->height() / 2));
    ASSERT_TRUE(pill->property("menuOpen").toBool());
    QList<bool> checked;
    qreal menuWidth = 0;
    EXPECT_EQ(visibleMenuLabels(scene.view.contentItem(), &checked, &menuWidth),
              QStringList({"One", "Two", "Three"}));
    EXPECT_EQ(checked, QList<bool>({false, true, false}));
    EXPECT_GE(menuWidth, pill->width() - 1);
    // The menu hangs 4 below the pill's lower-left corner.
    QQuickItem *first = scene.item("option_1");
    EXPECT_NEAR(first->mapToScene(QPointF(0, 0)).y(),
                pill->mapToScene(QPointF(0, pill->height() + 4)).y(), 12);

    scene.clickCentre(scene.item("option_3"));
    EXPECT_EQ(scene.root->property("chosen").toInt(), 2);
    EXPECT_EQ(pill->property("label").toString(), QStringLiteral("Three"));
    EXPECT_FALSE(pill->property("menuOpen").toBool());

    // A selection no option has: an empty label and nothing checked.
    QQuickItem *unmatched = scene.item("unmatched");
    EXPECT_EQ(unmatched->property("label").toString(), QString());
    scene.clickCentre(unmatched);
    QQuickItem *only = scene.item("option_1");
    ASSERT_NE(only, nullptr);
    EXPECT_FALSE(only->property("checked").toBool());
    QTest::keyClick(&scene.view, Qt::Key_Escape);
    scene.settle();

    // A pill faded to nearly nothing takes no click.
    QQuickItem *faded = scene.item("faded");
    scene.clickCentre(faded);
    EXPECT_FALSE(faded->property("menuOpen").toBool());
}

TEST(PulldownPill, IsReachedByTheKeyboardAndAnnouncedAsAComboBox)
{
    Scene scene(dropdownScene);
    QQuickItem *pill = scene.item("pill");
    scene.view.requestActivate();
    pill->forceActiveFocus();
    QTest::keyClick(&scene.view, Qt::Key_Space);
    scene.settle();
    ASSERT_TRUE(pill->property("menuOpen").toBool());
    // The menu takes the arrows: down twice from the top reaches the third entry.
    QTest::keyClick(&scene.view, Qt::Key_Down);
    QTest::keyClick(&scene.view, Qt::Key_Down);
    QTest::keyClick(&scene.view, Qt::Key_Down);
    QTest::keyClick(&scene.view, Qt::Key_Return);
    scene.settle();
    EXPECT_EQ(scene.root->property("chosen").toInt(), 2);

    QAccessibleInterface *access = QAccessible::queryAccessibleInterface(pill);
    ASSERT_NE(access, nullptr);
    EXPECT_EQ(access->role(), QAccessible::ComboBox);
    EXPECT_EQ(access->text(QAccessible::Name), QStringLiteral("Count"));
    QAccessibleActionInterface *actions = access->actionInterface();
    ASSERT_NE(actions, nullptr);
    actions->doAction(QAccessibleActionInterface::pressAction());
    scene.settle();
    EXPECT_TRUE(pill->property("menuOpen").toBool());
}

TEST(PillButton, IsAsWideAsItsTitlePlus24AndTakesClicksKeysAndThePressAction)
{
    Scene scene(R"(
Item {
    width: 400; height: 300
    property int presses: 0
    PillButton {
        objectName: "outlined"
        x: 20; y: 20
        title: "Allow"
        onClicked: parent.presses += 1
    }
    PillButton {
        objectName: "filled"
        x: 20; y: 80; height: 30
        filled: true
        title: "Open"
    }
}
)");
    QQuickItem *button = scene.item("outlined");
    QQuickItem *filled = scene.item("filled");
    ASSERT_NE(button, nullptr);
    const qreal titleWidth = button->implicitWidth() - 24;
    EXPECT_GT(titleWidth, 10);
    EXPECT_EQ(button->property("radius").toReal(), 8);
    EXPECT_EQ(button->property("border").value<QObject *>()->property("width").toReal(), 1);
    EXPECT_EQ(filled->property("border").value<QObject *>()->property("width").toReal(), 0);
    EXPECT_EQ(filled->property("color").value<QColor>(), SettingsTheme::shared().accent());

    // The whole pill, edges included, takes the click.
    scene.click(button, QPointF(2, 2));
    scene.click(button, QPointF(button->width() - 2, button->height() - 2));
    EXPECT_EQ(scene.root->property("presses").toInt(), 2);

    scene.view.requestActivate();
    button->forceActiveFocus();
    QTest::keyClick(&scene.view, Qt::Key_Space);
    QTest::keyClick(&scene.view, Qt::Key_Return);
    QAccessibleInterface *access = QAccessible::queryAccessibleInterface(button);
    ASSERT_NE(access, nullptr);
    EXPECT_EQ(access->role(), QAccessible::Button);
    EXPECT_EQ(access->text(QAccessible::Name), QStringLiteral("Allow"));
    access->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(scene.root->property("presses").toInt(), 5);

    const qreal before = button->implicitWidth();
    button->setProperty("title", QStringLiteral("Allow access now"));
    EXPECT_GT(button->implicitWidth(), before);
}

TEST(SegmentedControl, APressSelectsTheSegmentUnderItOnceAndTheKeysMoveIt)
{
    Scene scene(R"(
Item {
    width: 400; height: 300
    property var chosen: []
    SegmentedControl {
        objectName: "segments"
        x: 20; y: 20; width: 90; height: 24
        images: ["qrc:/qt-project.org/imports/Sonorvelle/Pills/AppIcon.svg", "qrc:/qt-project.org/imports/Sonorvelle/Pills/AppIcon.svg",
                 "qrc:/qt-project.org/imports/Sonorvelle/Pills/AppIcon.svg"]
        tooltips: ["Notch", "Classic"]
        accessibleName: "Style"
        onSelect: (index) => { chosen = chosen.concat([index]) }
    }
    SegmentedControl {
        objectName: "single"
        x: 20; y: 80; width: 90; height: 24
        onSelect: (index) => { chosen = chosen.concat([100 + index]) }
    }
}
)");
    QQuickItem *outer = scene.item("segments");
    ASSERT_NE(outer, nullptr);
    auto *control =
        qobject_cast<CapsuleSegmentedControl *>(findVisible(outer, QStringLiteral("capsule")));
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->segmentCount(), 3);
    const auto chosen = [&] {
        QList<int> list;
        for (const QVariant &v : scene.root->property("chosen").toList()) {
            list << v.toInt();
        }
        return list;
    };

    // Clicks land through the whole window's hit-testing (at whole points), so the children
    // that carry the tooltips and names must let them through.
    scene.click(control, QPointF(29, 12));
    EXPECT_EQ(chosen(), QList<int>());
    scene.click(control, QPointF(30, 12));
    scene.click(control, QPointF(89, 12));
    scene.click(control, QPointF(89, 12));
    EXPECT_EQ(chosen(), QList<int>({1, 2}));
    EXPECT_EQ(control->selectedIndex(), 2);

    // Set from outside: clamped and not reported.
    control->setSelectedIndex(7);
    EXPECT_EQ(control->selectedIndex(), 2);
    control->setSelectedIndex(-1);
    EXPECT_EQ(control->selectedIndex(), 0);
    EXPECT_EQ(chosen(), QList<int>({1, 2}));

    scene.view.requestActivate();
    outer->forceActiveFocus();
    QTest::keyClick(&scene.view, Qt::Key_Right);
    QTest::keyClick(&scene.view, Qt::Key_Left);
    QTest::keyClick(&scene.view, Qt::Key_Left);
    EXPECT_EQ(chosen(), QList<int>({1, 2, 1, 0}));

    // Each segment is announced by its tooltip; the third has none.
    QAccessibleInterface *access = QAccessible::queryAccessibleInterface(outer);
    ASSERT_NE(access, nullptr);
    EXPECT_EQ(access->role(), QAccessible::PageTabList);
    EXPECT_EQ(access->text(QAccessible::Name), QStringLiteral("Style"));
    QStringList names;
    for (int i = 0; i < 3; ++i) {
        QQuickItem *segment =
            scene.item(QStringLiteral("segment_%1").arg(i).toLatin1().constData());
        QAccessibleInterface *child = QAccessible::queryAccessibleInterface(segment);
        ASSERT_NE(child, nullptr);
        names << child->text(QAccessible::Name);
        if (i == 1) {
            child->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        }
    }
    EXPECT_EQ(names, QStringList({"Notch", "Classic", ""}));
    EXPECT_EQ(control->selectedIndex(), 1);

    // No images: one segment, already selected, so a click reports nothing.
    QQuickItem *single = scene.item("single");
    scene.click(single, QPointF(70, 12));
    EXPECT_EQ(chosen().size(), 5);
}

// A switch of the appearance recolours the controls that exist, without making them anew.
TEST(PillControls, FollowTheAppearanceWithoutBeingRebuilt)
{
    SettingsTheme &theme = SettingsTheme::shared();
    const bool wasDark = theme.dark();
    QPalette light;
    light.setColor(QPalette::Window, QColor(240, 240, 240));
    light.setColor(QPalette::WindowText, QColor(0, 0, 0));
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(30, 30, 30));
    dark.setColor(QPalette::WindowText, QColor(255, 255, 255));
    theme.follow(light);

    Scene scene(dropdownScene);
    QQuickItem *pill = scene.item("pill");
    EXPECT_EQ(pill->property("color").value<QColor>(), PillTheme::field(false));
    theme.follow(dark);
    scene.settle();
    EXPECT_EQ(scene.item("pill"), pill);
    EXPECT_EQ(pill->property("color").value<QColor>(), PillTheme::field(true));
    EXPECT_EQ(pill->property("border").value<QObject *>()->property("color").value<QColor>(),
              PillTheme::fieldBorder(true));
    theme.follow(wasDark ? dark : light);
}
