#include "UI/AnswerCard/AnswerCardModel.h"

#include "Base/ManualClock.h"
#include "Fakes/FakeAnswerSpeaker.h"
#include "Support/L10n.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

struct ModelRig
{
    ManualClock clock;
    FakeAnswerSpeaker speaker;
    int closes = 0;
    int signIns = 0;
    bool browserOpens = false;

    ModelRig() { L10n::shared().apply(QStringLiteral("en")); }
    ~ModelRig() { L10n::shared().apply(QStringLiteral("en")); }

    std::unique_ptr<AnswerCardModel> make(bool needsSignIn)
    {
        AnswerCardModel::Content content;
        content.isError = true;
        content.needsSignIn = needsSignIn;
        content.hint = QStringLiteral("Hold Right Alt and speak again");
        AnswerCardModel::Services services;
        services.speaker = &speaker;
        services.clock = &clock;
        services.l10n = &L10n::shared();
        services.onClose = [this] {
            ++closes;
        };
        services.onSignIn = [this] {
            ++signIns;
            return browserOpens;
        };
        return std::make_unique<AnswerCardModel>(content, services);
    }
};

} // namespace

// The signed-out card: its own title and hint in the interface language, the Sign in button;
// a sign-in that opened no browser keeps the card and says why, one that did closes it.
TEST(AnswerCardModel, TheSignedOutCardNamesTheSignInAndReportsABrowserThatDidNotOpen)
{
    ModelRig rig;
    const auto card = rig.make(true);
    EXPECT_TRUE(card->isError());
    EXPECT_TRUE(card->needsSignIn());
    EXPECT_EQ(card->errorTitle(), QStringLiteral("Asking needs sign-in"));
    EXPECT_EQ(card->hint(),
              QStringLiteral("Answers come from the cloud. Sign in to ask anything."));
    EXPECT_EQ(card->signInTitle(), QStringLiteral("Sign in"));
    EXPECT_TRUE(card->answer().isEmpty()) << "the user's words are no answer";

    QSignalSpy texts(card.get(), &AnswerCardModel::textsChanged);
    L10n::shared().apply(QStringLiteral("de"));
    EXPECT_EQ(texts.count(), 1);
    EXPECT_EQ(card->errorTitle(), QStringLiteral("Fragen erfordert eine Anmeldung"));
    EXPECT_EQ(card->signInTitle(), QStringLiteral("Anmelden"));
    L10n::shared().apply(QStringLiteral("en"));

    texts.clear();
    card->signIn();
    EXPECT_EQ(rig.signIns, 1);
    EXPECT_EQ(rig.closes, 0);
    EXPECT_EQ(texts.count(), 1);
    EXPECT_EQ(card->hint(),
              QStringLiteral("No web browser could be opened. Install one (or the "
                             "xdg-utils package) and try again."));

    rig.browserOpens = true;
    card->signIn();
    EXPECT_EQ(rig.signIns, 2);
    EXPECT_EQ(rig.closes, 1);
}

TEST(AnswerCardModel, TheCardForNothingRecognisedKeepsItsRetryHintAndOffersNoSignIn)
{
    ModelRig rig;
    const auto card = rig.make(false);
    EXPECT_FALSE(card->needsSignIn());
    EXPECT_EQ(card->errorTitle(), QStringLiteral("Didn't catch that"));
    EXPECT_EQ(card->hint(), QStringLiteral("Hold Right Alt and speak again"));
    card->signIn();
    EXPECT_EQ(rig.signIns, 0);
    EXPECT_EQ(card->hint(), QStringLiteral("Hold Right Alt and speak again"));
}
