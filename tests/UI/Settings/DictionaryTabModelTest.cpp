#include "UI/Settings/DictionaryTabModel.h"

#include "Core/SharedVocabulary.h"
#include "Core/SyncComputer.h"
#include "Core/TextCleanup/ReplacementEngine.h"
#include "Core/VersionedBlobSync.h"
#include "Support/L10n.h"
#include "TestSupport/FakeCloudService.h"
#include "TestSupport/QtPrinters.h"
#include "TestSupport/VersionedSyncStore.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <memory>
#include <string>

namespace {

Replacement rule(const char *id, const char *phrase, const char *expansion, bool enabled = true)
{
    return {QUuid(QString::fromLatin1(id)), QString::fromUtf8(phrase), QString::fromUtf8(expansion),
            enabled};
}

const Replacement kWithout = rule("E621E1F8-C36C-495A-93FC-0C247A3E6E5F", "w/o", "without");
const Replacement kBtw = rule("0B7A3C55-2C2E-4D1E-9D55-5C1F7F0E8A11", "btw", "by the way");

// The tab's model over a vocabulary of its own, on a computer signed in to the fake service, whose
// copy of the vocabulary a test replaces to play a sync from another computer.
struct DictionaryRig
{
    FakeCloudService service;
    VersionedSyncStore store {service, "/api/sync/shared"};
    SyncComputer computer {service};
    std::unique_ptr<SharedVocabulary> vocab;
    std::unique_ptr<DictionaryTabModel> model;
    std::unique_ptr<QAbstractItemModelTester> termsTester;
    std::unique_ptr<QAbstractItemModelTester> rulesTester;

    explicit DictionaryRig(const QStringList &terms = {}, const QList<Replacement> &rules = {})
    {
        L10n::shared().apply(QStringLiteral("en"));
        vocab = std::make_unique<SharedVocabulary>(SharedVocabulary::Services {
            &computer.defaults, &computer.session, computer.account.get(), &computer.clock});
        vocab->setTerms(terms);
        vocab->setReplacements(rules);
        model = std::make_unique<DictionaryTabModel>(*vocab, L10n::shared());
        // Every change of the rows must be announced the way views rely on.
        termsTester = std::make_unique<QAbstractItemModelTester>(
            model->terms(), QAbstractItemModelTester::FailureReportingMode::Fatal);
        rulesTester = std::make_unique<QAbstractItemModelTester>(
            model->replacements(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    }

    // Another computer publishes these lists; this one pulls them, as it does on sign-in.
    void syncFromElsewhere(const QStringList &terms, const QList<Replacement> &rules)
    {
        store.seed("tok-a", 100 + ++m_round, SharedVocabulary::blob(terms, rules).toStdString());
        vocab->pull(true);
        ASSERT_TRUE(SyncComputer::settle(vocab->sync()));
    }

    int termKey(int row) const { return model->terms()->rows().at(row).key; }
    int ruleKey(int row) const { return model->replacements()->rows().at(row).key; }

    QStringList shownTerms() const
    {
        QStringList texts;
        for (const auto &row : model->terms()->rows()) {
            texts << row.text;
        }
        return texts;
    }

    // The lists as the next launch reads them.
    SharedVocabulary reread()
    {
        return SharedVocabulary(SharedVocabulary::Services {
            &computer.defaults, &computer.session, computer.account.get(), &computer.clock});
    }

private:
    int m_round = 0;
};

} // namespace

TEST(DictionaryTabModel, AddingATermTrimsItAndAnswersAnExactDuplicateWithTheNote)
{
    DictionaryRig rig;
    DictionaryTabModel &model = *rig.model;

    model.setNewTerm(QStringLiteral("  Kubernetes \n"));
    model.addTerm();
    EXPECT_EQ(rig.vocab->terms(), QStringList {QStringLiteral("Kubernetes")});
    EXPECT_EQ(model.newTerm(), QString());
    EXPECT_EQ(model.duplicateNote(), QString());

    model.setNewTerm(QStringLiteral(" Kubernetes"));
    model.addTerm();
    EXPECT_EQ(model.duplicateNote(), QStringLiteral("“Kubernetes” is already in the list"));
    EXPECT_EQ(model.newTerm(), QStringLiteral(" Kubernetes")) << "the typed text stays";
    EXPECT_EQ(rig.vocab->terms().size(), 1);
    // One more keystroke takes the note away; a repeated Add of the same text keeps it.
    model.addTerm();
    EXPECT_FALSE(model.duplicateNote().isEmpty());
    model.setNewTerm(QStringLiteral(" Kubernetess"));
    EXPECT_EQ(model.duplicateNote(), QString());

    // Letter case counts; blanks change nothing and show no note.
    model.setNewTerm(QStringLiteral("kubernetes"));
    model.addTerm();
    model.setNewTerm(QStringLiteral(" \t "));
    model.addTerm();
    EXPECT_EQ(model.newTerm(), QStringLiteral(" \t "));
    EXPECT_EQ(model.duplicateNote(), QString());
    EXPECT_EQ(rig.reread().terms(),
              QStringList({QStringLiteral("Kubernetes"), QStringLiteral("kubernetes")}));

    // A note on screen follows a switch of the interface language.
    model.setNewTerm(QStringLiteral("Kubernetes"));
    model.addTerm();
    QSignalSpy noteChanged(&model, &DictionaryTabModel::duplicateNoteChanged);
    L10n::shared().apply(QStringLiteral("de"));
    EXPECT_EQ(noteChanged.count(), 1);
    EXPECT_TRUE(model.duplicateNote().contains(QStringLiteral("Kubernetes")));
    EXPECT_NE(model.duplicateNote(), QStringLiteral("“Kubernetes” is already in the list"));
    L10n::shared().apply(QStringLiteral("en"));
}

TEST(DictionaryTabModel, AReplacementIsAddedOnlyWhenBothFieldsHoldText)
{
    struct Case
    {
        const char *name;
        const char *phrase;
        const char *expansion;
        bool added;
    };
    for (const Case &c :
         {Case {"both", " w/o ", "without\n", true}, Case {"phrase only", "w/o", "  ", false},
          Case {"expansion only", "\n", "without", false}, Case {"neither", "", "", false}}) {
        DictionaryRig rig;
        DictionaryTabModel &model = *rig.model;
        model.setNewPhrase(QString::fromUtf8(c.phrase));
        model.setNewExpansion(QString::fromUtf8(c.expansion));
        model.addReplacement();
        const QList<Replacement> stored = rig.reread().replacements();
        ASSERT_EQ(stored.size(), c.added ? 1 : 0) << c.name;
        if (c.added) {
            EXPECT_EQ(stored[0].phrase, QStringLiteral("w/o")) << c.name;
            EXPECT_EQ(stored[0].expansion, QStringLiteral("without")) << c.name;
            EXPECT_TRUE(stored[0].isEnabled) << c.name;
            EXPECT_EQ(model.newPhrase(), QString()) << c.name;
            EXPECT_EQ(model.newExpansion(), QString()) << c.name;
        } else {
            EXPECT_EQ(model.newPhrase(), QString::fromUtf8(c.phrase)) << c.name;
            EXPECT_EQ(model.newExpansion(), QString::fromUtf8(c.expansion)) << c.name;
        }
    }

    // The same phrase may be added again, as a rule of its own at the end.
    DictionaryRig rig({}, {kWithout});
    rig.model->setNewPhrase(QStringLiteral("w/o"));
    rig.model->setNewExpansion(QStringLiteral("with out"));
    rig.model->addReplacement();
    const QList<Replacement> stored = rig.vocab->replacements();
    ASSERT_EQ(stored.size(), 2);
    EXPECT_EQ(stored[0], kWithout);
    EXPECT_EQ(stored[1].phrase, QStringLiteral("w/o"));
    EXPECT_NE(stored[1].id, kWithout.id);
}

TEST(DictionaryTabModel, AnEmptiedRowStaysOnScreenAndOnlyAnEmptiedTermIsLeftOutOfStorage)
{
    DictionaryRig rig({QStringLiteral("Grafana"), QStringLiteral("Loki"), QStringLiteral("Tempo")},
                      {kWithout, kBtw});
    DictionaryTabModel &model = *rig.model;
    const int loki = rig.termKey(1);

    // Every keystroke is kept as typed; erasing the term leaves its row to type into.
    model.editTerm(loki, QStringLiteral("Lok"));
    model.editTerm(loki, QString());
    EXPECT_EQ(rig.shownTerms(),
              QStringList({QStringLiteral("Grafana"), QString(), QStringLiteral("Tempo")}));
    EXPECT_EQ(rig.reread().terms(),
              QStringList({QStringLiteral("Grafana"), QStringLiteral("Tempo")}));
    model.editTerm(loki, QStringLiteral("Mimir "));
    EXPECT_EQ(rig.reread().terms(),
              QStringList(
                  {QStringLiteral("Grafana"), QStringLiteral("Mimir "), QStringLiteral("Tempo")}));
    // Editing a term into another one is allowed and shows no note.
    model.editTerm(loki, QStringLiteral("Tempo"));
    EXPECT_EQ(rig.vocab->terms().count(QStringLiteral("Tempo")), 2);
    EXPECT_EQ(model.duplicateNote(), QString());

    // A rule is kept without its spoken phrase, and without its replacement text.
    const int btw = rig.ruleKey(1);
    model.editPhrase(btw, QString());
    Replacement unspoken = kBtw;
    unspoken.phrase.clear();
    EXPECT_EQ(rig.reread().replacements(), QList<Replacement>({kWithout, unspoken}));
    EXPECT_EQ(model.replacements()->count(), 2);
    model.editPhrase(btw, QStringLiteral("btw"));
    model.editExpansion(btw, QString());
    model.setReplacementEnabled(btw, false);
    Replacement changed = kBtw;
    changed.expansion.clear();
    changed.isEnabled = false;
    EXPECT_EQ(rig.reread().replacements(), QList<Replacement>({kWithout, changed}));
}

TEST(DictionaryTabModel, DeletesActOnTheRowsKeyAndDropAKeyNoLongerListed)
{
    const Replacement twin = rule("E621E1F8-C36C-495A-93FC-0C247A3E6E5F", "wo", "without");
    DictionaryRig rig({QStringLiteral("Grafana"), QStringLiteral("Loki")}, {kWithout, kBtw, twin});
    DictionaryTabModel &model = *rig.model;

    const int grafana = rig.termKey(0);
    model.deleteTerm(grafana);
    EXPECT_EQ(rig.shownTerms(), QStringList {QStringLiteral("Loki")});
    // The same delete again (a second click on a row already gone) removes nothing more.
    model.deleteTerm(grafana);
    model.editTerm(grafana, QStringLiteral("Grafana"));
    EXPECT_EQ(rig.reread().terms(), QStringList {QStringLiteral("Loki")});

    // A rule goes with every rule of the same identifier.
    model.deleteReplacement(rig.ruleKey(0));
    EXPECT_EQ(rig.reread().replacements(), QList<Replacement>({kBtw}));
    EXPECT_EQ(model.replacements()->count(), 1);
}

TEST(DictionaryTabModel, ASyncMidEditNeverWritesIntoAnotherTermAndDropsEditsOfVanishedRows)
{
    DictionaryRig rig({QStringLiteral("Alpha"), QStringLiteral("Beta")}, {kWithout, kBtw});
    DictionaryTabModel &model = *rig.model;
    const int alpha = rig.termKey(0);
    const int beta = rig.termKey(1);
    model.editTerm(alpha, QStringLiteral("Alphab"));
    const int withoutRule = rig.ruleKey(0);
    const int btwRule = rig.ruleKey(1);
    model.editPhrase(btwRule, QStringLiteral("bt"));
    QSignalSpy resets(model.terms(), &QAbstractItemModel::modelReset);

    // Another computer's copy replaces both lists while the user is typing in the first row.
    Replacement btwElsewhere = kBtw;
    btwElsewhere.expansion = QStringLiteral("by the way!");
    rig.syncFromElsewhere({QStringLiteral("Gamma"), QStringLiteral("Beta")}, {btwElsewhere});
    EXPECT_EQ(rig.shownTerms(), QStringList({QStringLiteral("Gamma"), QStringLiteral("Beta")}));
    // The row that stayed keeps its key (and its delegate): the list was not rebuilt.
    EXPECT_EQ(rig.termKey(1), beta);
    EXPECT_EQ(resets.count(), 0);

    // The next keystrokes of the vanished row go nowhere: not into "Gamma", which took its place.
    model.editTerm(alpha, QStringLiteral("Alphabe"));
    model.deleteTerm(alpha);
    model.editPhrase(withoutRule, QStringLiteral("w/o!"));
    EXPECT_EQ(rig.reread().terms(), QStringList({QStringLiteral("Gamma"), QStringLiteral("Beta")}));
    EXPECT_EQ(rig.reread().replacements(), QList<Replacement>({btwElsewhere}));

    // The staying rows take edits as before, into the rule the sync updated.
    model.editTerm(beta, QStringLiteral("Betamax"));
    model.editPhrase(btwRule, QStringLiteral("b.t.w."));
    EXPECT_EQ(rig.reread().terms(),
              QStringList({QStringLiteral("Gamma"), QStringLiteral("Betamax")}));
    Replacement expected = btwElsewhere;
    expected.phrase = QStringLiteral("b.t.w.");
    EXPECT_EQ(rig.reread().replacements(), QList<Replacement>({expected}));

    // A sync that reorders the staying rows starts the list afresh; keys of rows that stayed
    // still reach their own term.
    rig.syncFromElsewhere({QStringLiteral("Betamax"), QStringLiteral("Gamma")}, {expected});
    EXPECT_EQ(rig.shownTerms(), QStringList({QStringLiteral("Betamax"), QStringLiteral("Gamma")}));
    model.editTerm(beta, QStringLiteral("Beta"));
    EXPECT_EQ(rig.reread().terms(), QStringList({QStringLiteral("Beta"), QStringLiteral("Gamma")}));
}

TEST(DictionaryTabModel, AnEmptiedRowGoesWhenASyncReplacesTheList)
{
    DictionaryRig rig({QStringLiteral("Alpha"), QStringLiteral("Beta")});
    DictionaryTabModel &model = *rig.model;
    const int alpha = rig.termKey(0);
    model.editTerm(alpha, QString());
    rig.syncFromElsewhere({QStringLiteral("Beta"), QStringLiteral("Gamma")}, {});
    EXPECT_EQ(rig.shownTerms(), QStringList({QStringLiteral("Beta"), QStringLiteral("Gamma")}));
    model.editTerm(alpha, QStringLiteral("A"));
    EXPECT_EQ(rig.reread().terms(), QStringList({QStringLiteral("Beta"), QStringLiteral("Gamma")}));
    // Nothing the user blanked ever reached the service.
    for (const auto &request : rig.service.requests("/api/sync/shared")) {
        EXPECT_EQ(request.body.find("\"\""), std::string::npos) << request.body;
    }
}

TEST(DictionaryTabModel, AnEmptiedPhraseKeepsItsRuleAcrossTabSwitchesAndSyncs)
{
    DictionaryRig rig({QStringLiteral("Alpha")}, {kWithout, kBtw});
    rig.model->editPhrase(rig.ruleKey(1), QString());
    Replacement unspoken = kBtw;
    unspoken.phrase.clear();

    // Another tab and back: the tab is made afresh from the vocabulary.
    rig.termsTester.reset();
    rig.rulesTester.reset();
    rig.model = std::make_unique<DictionaryTabModel>(*rig.vocab, L10n::shared());
    ASSERT_EQ(rig.model->replacements()->count(), 2);
    EXPECT_EQ(rig.model->replacements()->rows().at(1).text, QString());
    EXPECT_EQ(rig.model->replacements()->rows().at(1).expansion, QStringLiteral("by the way"));

    // The edit travels as it is, and a copy from elsewhere made on top of it keeps the rule.
    rig.computer.clock.advance(VersionedBlobSync::pushDelay);
    ASSERT_TRUE(SyncComputer::settle(rig.vocab->sync()));
    const auto pushes = rig.service.requests("/api/sync/shared");
    ASSERT_FALSE(pushes.empty());
    EXPECT_EQ(
        nlohmann::json::parse(pushes.back().body).at("blob").get<std::string>(),
        SharedVocabulary::blob({QStringLiteral("Alpha")}, {kWithout, unspoken}).toStdString());
    rig.syncFromElsewhere({QStringLiteral("Alpha"), QStringLiteral("Beta")}, {kWithout, unspoken});
    EXPECT_EQ(rig.model->replacements()->count(), 2);
    EXPECT_EQ(rig.reread().replacements(), QList<Replacement>({kWithout, unspoken}));

    // Dictation leaves the phrase alone until it is typed again; only the delete button removes
    // the rule.
    EXPECT_EQ(ReplacementEngine::apply(QStringLiteral("btw w/o"), rig.vocab->replacements()),
              QStringLiteral("btw without"));
    rig.model->editPhrase(rig.ruleKey(1), QStringLiteral("btw"));
    EXPECT_EQ(rig.reread().replacements(), QList<Replacement>({kWithout, kBtw}));
    rig.model->deleteReplacement(rig.ruleKey(1));
    EXPECT_EQ(rig.reread().replacements(), QList<Replacement>({kWithout}));
}
