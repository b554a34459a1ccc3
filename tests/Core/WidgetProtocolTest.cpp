#include "Core/WidgetProtocol.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace {

WidgetMessage hello()
{
    WidgetMessage message;
    message.type = QStringLiteral("widget.hello");
    message.app = QStringLiteral("org.sonorvelle.Sonorvelle");
    message.name = QStringLiteral("Sonorvelle");
    return message;
}

// A message with every type of the schema in it, the ones this application never sends too.
WidgetMessage everything()
{
    WidgetMessage message = hello();
    message.type = QStringLiteral("widget.state");
    WidgetEar ear;
    ear.symbol = QStringLiteral("mic.fill");
    ear.text = QStringLiteral("Voice input");
    ear.level = 0.25;
    ear.tint = 0xFF5B52;
    ear.priority = 45;
    ear.sprite = QStringLiteral("voice/listening");
    ear.meta = QStringLiteral("0:07");
    message.ear = ear;
    message.actions = QList<WidgetAction> {{QStringLiteral("toggle"), QStringLiteral("Start"),
                                            QStringLiteral("mic.fill"), 0x0A84FF, std::nullopt}};
    message.items = QList<WidgetItem> {
        {QStringLiteral("ID"), QStringLiteral("t\u00e9st \U0001F600"), std::nullopt,
         QStringLiteral("Editor"), QStringLiteral("0:03"), std::nullopt}};
    message.itemsTitle = QStringLiteral("History");
    message.tab = WidgetTab {QStringLiteral("Tab"), std::nullopt, QStringLiteral("i"), 320.5, 200};
    WidgetPane pane;
    pane.id = QStringLiteral("p");
    pane.title = QStringLiteral("pane");
    pane.frame = QList<double> {0, 0, 10.5, 20};
    pane.agentPresentation = WidgetAgentPresentation {std::nullopt,
                                                      QStringLiteral("busy"),
                                                      std::nullopt,
                                                      QStringLiteral("r"),
                                                      3,
                                                      QStringLiteral("e"),
                                                      1.5e9,
                                                      42};
    pane.unread = true;
    WidgetSession session;
    session.id = QStringLiteral("s");
    session.title = QStringLiteral("session");
    session.panes = QList<WidgetPane> {pane};
    session.bg = 0;
    message.sessions = QList<WidgetSession> {session};
    message.rect = QList<double> {1, 2, 3, 4};
    message.widgets =
        QList<WidgetDecl> {{QStringLiteral("w"), QStringLiteral("chart"), QStringLiteral("CPU"),
                            std::nullopt, 1, 1, 4, 4, QStringLiteral("line")}};
    WidgetData data;
    data.value = QStringLiteral("12");
    data.series = QList<double> {1, 2.5};
    data.breakdown = QList<QList<QString>> {{QStringLiteral("a"), QStringLiteral("b")}};
    data.valuesSeries = QList<QList<double>> {{1}, {}};
    data.facts = QMap<QString, QString> {{QStringLiteral("k"), QStringLiteral("v")}};
    message.data = data;
    message.placedIds = QList<QString> {QStringLiteral("w")};
    message.status =
        WidgetStatus {QStringLiteral("voice/listening"), QStringLiteral("Voice input")};
    message.snapLayouts = QList<WidgetSnapLayout> {
        {QStringLiteral("l"), QStringLiteral("halves"), 2, 1, {{0, 0, 1, 1}, {1, 0, 1, 1}}}};
    return message;
}

} // namespace

TEST(WidgetProtocol, WritesCompactLinesWithOnlyTheFieldsThatHoldAValue)
{
    EXPECT_EQ(WidgetProtocol::encode(hello()),
              QByteArray(R"({"v":1,"type":"widget.hello","app":"org.sonorvelle.Sonorvelle",)"
                         R"("name":"Sonorvelle"})"));

    WidgetMessage actions = hello();
    actions.type = QStringLiteral("widget.state");
    actions.actions = QList<WidgetAction> {
        {QStringLiteral("toggle"), QStringLiteral("T"), std::nullopt, 0x0A84FF, std::nullopt}};
    EXPECT_TRUE(WidgetProtocol::encode(actions)->contains(R"("tint":689407)"));

    // An empty list is written: the host tells "no history" from "no list in this message".
    WidgetMessage items = hello();
    items.items = QList<WidgetItem>();
    EXPECT_TRUE(WidgetProtocol::encode(items)->contains(R"("items":[])"));

    const QByteArray line = *WidgetProtocol::encode(everything());
    EXPECT_FALSE(line.contains('\n'));
    EXPECT_FALSE(line.contains("null"));
}

TEST(WidgetProtocol, EveryTypeRoundTrips)
{
    const QByteArray line = *WidgetProtocol::encode(everything());
    const std::optional<WidgetMessage> decoded = WidgetProtocol::decode(line);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->ear, everything().ear);
    EXPECT_EQ(decoded->sessions, everything().sessions);
    EXPECT_EQ(decoded->data, everything().data);
    EXPECT_EQ(decoded->snapLayouts, everything().snapLayouts);
    EXPECT_EQ(WidgetProtocol::encode(*decoded), line);
}

TEST(WidgetProtocol, ANumberThatIsNotFiniteCannotBeWritten)
{
    for (const double value : {std::nan(""), std::numeric_limits<double>::infinity()}) {
        WidgetMessage message = everything();
        message.data->gauge = value;
        EXPECT_FALSE(WidgetProtocol::encode(message)) << value;
    }
}

TEST(WidgetProtocol, ReadsWhatTheSchemaAllowsAndRejectsTheRestWhole)
{
    const QByteArray base = R"("v":1,"type":"widget.hostinfo","app":"host")";
    struct Case
    {
        const char *name;
        QByteArray line;
        bool accepted;
    };
    const Case cases[] = {
        {"host info", "{" + base + R"(,"lang":"ja"})", true},
        {"lang null reads as no lang", "{" + base + R"(,"lang":null})", true},
        {"unknown keys are ignored", "{" + base + R"(,"future":{"x":[1,2]},"lang":"de"})", true},
        {"integral number for an integer", R"({"v":1.0,"type":"t","app":"a"})", true},
        {"command", "{" + base + R"(,"actionId":"ask","itemId":"X"})", true},
        {"without v and app", R"({"type":"widget.hostinfo","lang":"ja"})", false},
        {"required field null", R"({"v":1,"type":null,"app":"a"})", false},
        {"v of the wrong type", R"({"v":"1","type":"t","app":"a"})", false},
        {"string field of the wrong type", "{" + base + R"(,"lang":7})", false},
        {"fraction for an integer", "{" + base + R"(,"ear":{"text":"x","priority":1.5}})", false},
        {"integer beyond 64 bits", R"({"v":18446744073709551615,"type":"t","app":"a"})", false},
        {"nested object without a required field", "{" + base + R"(,"ear":{"text":"x"}})", false},
        {"array of the wrong element", "{" + base + R"(,"placedIds":[1]})", false},
        {"facts with a number", "{" + base + R"(,"data":{"facts":{"a":1}}})", false},
        {"not an object", R"(["widget.hello"])", false},
        {"not JSON", "widget.hello", false},
        {"two objects", "{" + base + "}{" + base + "}", false},
        {"invalid UTF-8", "{" + base + ",\"lang\":\"\xff\xfe\"}", false},
        {"empty", "", false},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(WidgetProtocol::decode(c.line).has_value(), c.accepted) << c.name;
    }
    EXPECT_EQ(WidgetProtocol::decode("{" + base + R"(,"lang":null})")->lang, std::nullopt);
}

// Generated lines, most of them near-valid (a valid line with bytes changed, cut or repeated),
// never crash the reader, and whatever it accepts writes back to a line it reads the same way.
TEST(WidgetProtocol, GeneratedLinesNeverCrashTheReaderAndAcceptedOnesRoundTrip)
{
    const QList<QByteArray> seeds = {
        *WidgetProtocol::encode(everything()),
        *WidgetProtocol::encode(hello()),
        R"({"v":1,"type":"widget.command","app":"h","actionId":"toggle","itemId":"A"})",
        R"({"v":1,"type":"widget.hostinfo","app":"h","lang":"zh-Hans"})",
    };
    const QByteArray alphabet = R"({}[]":,0123456789.-+eE truefalsnl\u)";
    std::mt19937 random(20261210);
    int accepted = 0;
    for (int i = 0; i < 100000; ++i) {
        QByteArray line = seeds[int(random() % seeds.size())];
        const int edits = 1 + int(random() % 4);
        for (int e = 0; e < edits && !line.isEmpty(); ++e) {
            const qsizetype at = qsizetype(random() % line.size());
            switch (random() % 5) {
            case 0:
                line[at] = char(random() % 256);
                break;
            case 1:
                line[at] = alphabet[int(random() % alphabet.size())];
                break;
            case 2:
                line.truncate(at);
                break;
            case 3:
                line.insert(at, line.mid(at, qsizetype(random() % 16)));
                break;
            default:
                line.remove(at, 1 + qsizetype(random() % 8));
                break;
            }
        }
        const std::optional<WidgetMessage> decoded = WidgetProtocol::decode(line);
        if (!decoded) {
            continue;
        }
        ++accepted;
        const std::optional<QByteArray> written = WidgetProtocol::encode(*decoded);
        ASSERT_TRUE(written) << line.toStdString();
        const std::optional<WidgetMessage> again = WidgetProtocol::decode(*written);
        ASSERT_TRUE(again) << written->toStdString();
        ASSERT_EQ(WidgetProtocol::encode(*again), written) << line.toStdString();
    }
    // The generator must reach the accepting paths, or the round trip above checks nothing.
    EXPECT_GT(accepted, 1000);
}
