#include "Core/TextCleanup/FidelityGuard.h"

#include <gtest/gtest.h>

#include "TestSupport/QtPrinters.h"

#include <ostream>

// Found by argument-dependent lookup, so it lives beside CleanupVerdict in the global namespace.
static void PrintTo(const CleanupVerdict &verdict, std::ostream *os)
{
    const char *kinds[] = {"accept", "warn", "reject"};
    *os << kinds[int(verdict.kind)] << "(\"" << verdict.reason.toStdString() << "\")";
}

namespace {

QString repeated(const QString &unit, int count)
{
    QString text;
    for (int i = 0; i < count; ++i) {
        text += unit;
    }
    return text;
}

} // namespace

TEST(FidelityGuardVerify, Verdicts)
{
    using C = EditContract;
    struct Case
    {
        const char *name;
        QString original;
        QString polished;
        C contract;
        CleanupVerdict expected;
    };
    const QString ten = QStringLiteral("あいうえおかきくけこ");
    const Case cases[] = {
        {"identical text", QStringLiteral("今日は晴れです"), QStringLiteral("今日は晴れです。"),
         C::faithful, CleanupVerdict::accept()},
        {"blanks and line breaks only", QStringLiteral("今日は"), QStringLiteral(" \n\t\u3000\r\n"),
         C::polish, CleanupVerdict::reject(QStringLiteral("空出力"))},
        {"empty output", QStringLiteral("今日は"), QString(), C::faithful,
         CleanupVerdict::reject(QStringLiteral("空出力"))},

        // Growth: the limit is max(40, 3 x original characters).
        {"10 characters may grow to 40", ten, repeated(QStringLiteral("あ"), 40), C::faithful,
         CleanupVerdict::accept()},
        {"but not to 41", ten, repeated(QStringLiteral("あ"), 41), C::polish,
         CleanupVerdict::reject(QStringLiteral("異常な伸長 10→41ch"))},
        {"20 characters may grow to 60", repeated(QStringLiteral("あ"), 20),
         repeated(QStringLiteral("い"), 60), C::faithful, CleanupVerdict::accept()},
        {"but not to 61", repeated(QStringLiteral("あ"), 20), repeated(QStringLiteral("い"), 61),
         C::faithful, CleanupVerdict::reject(QStringLiteral("異常な伸長 20→61ch"))},
        {"characters, not scalars, are counted", repeated(QStringLiteral("e\u0301"), 10),
         repeated(QStringLiteral("e\u0301"), 40), C::faithful, CleanupVerdict::accept()},
        {"characters, not scalars, are counted in the reason",
         repeated(QStringLiteral("e\u0301"), 10), repeated(QStringLiteral("e\u0301"), 41),
         C::faithful, CleanupVerdict::reject(QStringLiteral("異常な伸長 10→41ch"))},
        {"an empty original may grow to 40", QString(), repeated(QStringLiteral("。"), 41),
         C::faithful, CleanupVerdict::reject(QStringLiteral("異常な伸長 0→41ch"))},

        // Identifiers.
        {"a lost web address rejects even a polish",
         QStringLiteral("詳細は https://example.com/a?b=1 を見て"), QStringLiteral("詳細を見て"),
         C::polish,
         CleanupVerdict::reject(QStringLiteral("識別子の欠落: https://example.com/a?b=1"))},
        {"a lost e-mail address", QStringLiteral("連絡は taro.yamada@example.co.jp まで"),
         QStringLiteral("連絡は taro.yamada example.co.jp まで"), C::polish,
         CleanupVerdict::reject(QStringLiteral("識別子の欠落: taro.yamada@example.co.jp"))},
        {"a version number of three parts", QStringLiteral("バージョン v1.2.3 です"),
         QStringLiteral("バージョン 1.2.3 です"), C::polish,
         CleanupVerdict::reject(QStringLiteral("識別子の欠落: v1.2.3"))},
        {"a version number of three parts without v", QStringLiteral("バージョン 1.2.3 です"),
         QStringLiteral("バージョン 3.2.1 です"), C::polish,
         CleanupVerdict::reject(QStringLiteral("識別子の欠落: 1.2.3"))},
        {"a version number of two parts is no identifier", QStringLiteral("バージョン 1.2 です"),
         QStringLiteral("バージョン 2.1 です"), C::faithful, CleanupVerdict::accept()},
        {"a version number needs a word boundary", QStringLiteral("バージョン1.2.3です"),
         QStringLiteral("バージョン3.2.1です"), C::faithful, CleanupVerdict::accept()},
        {"the first lost identifier is named",
         QStringLiteral("v1.0.0 と https://a.example/x と b@c.de"), QStringLiteral("v1.0.0 と と"),
         C::faithful, CleanupVerdict::reject(QStringLiteral("識別子の欠落: https://a.example/x"))},

        // Key tokens and unit conversions.
        {"two lost key tokens reject a faithful cleanup", QStringLiteral("API の上限は 42 です"),
         QStringLiteral("上限です"), C::faithful,
         CleanupVerdict::reject(QStringLiteral("キー情報の欠落: API,42"))},
        {"and warn about a polish", QStringLiteral("API の上限は 42 です"),
         QStringLiteral("上限です"), C::polish,
         CleanupVerdict::warn(QStringLiteral("消えた語: API,42"))},
        {"a token lost twice is listed twice", QStringLiteral("42 と 42"), QStringLiteral("と"),
         C::faithful, CleanupVerdict::reject(QStringLiteral("キー情報の欠落: 42,42"))},
        {"key tokens are case-sensitive", QStringLiteral("APIを使う"), QStringLiteral("apiを使う"),
         C::polish, CleanupVerdict::warn(QStringLiteral("消えた語: API"))},
        {"5 kilobytes against 5KB", QStringLiteral("ファイルは5 kilobytesです"),
         QStringLiteral("ファイルは5KBです"), C::faithful, CleanupVerdict::accept()},
        {"a no-break space may stand before the symbol", QStringLiteral("5 kilobytes"),
         QStringLiteral("5\u00A0KB"), C::faithful, CleanupVerdict::accept()},
        {"the symbol matches in any case", QStringLiteral("5 Kilobytes"), QStringLiteral("5 kb"),
         C::faithful, CleanupVerdict::accept()},
        {"at most one blank before the symbol", QStringLiteral("5 kilobytes"),
         QStringLiteral("5  KB"), C::faithful,
         CleanupVerdict::reject(QStringLiteral("キー情報の欠落: kilobytes"))},
        {"katakana spelling", QStringLiteral("10キロバイト"), QStringLiteral("10KB"), C::faithful,
         CleanupVerdict::accept()},
        {"percent", QStringLiteral("50 percent"), QStringLiteral("50%"), C::faithful,
         CleanupVerdict::accept()},
        {"milliseconds", QStringLiteral("200 milliseconds"), QStringLiteral("200ms"), C::faithful,
         CleanupVerdict::accept()},
        {"a symbol without a digit is no conversion", QStringLiteral("5 megabytes"),
         QStringLiteral("5 and MB"), C::faithful,
         CleanupVerdict::reject(QStringLiteral("キー情報の欠落: megabytes"))},
        {"the wrong unit is no conversion", QStringLiteral("5 megabytes"), QStringLiteral("5GB"),
         C::polish, CleanupVerdict::warn(QStringLiteral("消えた語: megabytes"))},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FidelityGuard::verify(c.original, c.polished, c.contract), c.expected);
    }
}

TEST(FidelityGuardVerify, WebAddressEndsAtBlankOrJapanesePunctuation)
{
    // The address stops before the terminator, so the polished text that keeps only the address
    // and the following word is accepted.
    for (const QString &terminator :
         {QStringLiteral(" "), QStringLiteral("\u3001"), QStringLiteral("\u3002"),
          QStringLiteral("\u300D"), QStringLiteral("\uFF09"), QStringLiteral(")"),
          QStringLiteral("\n")}) {
        SCOPED_TRACE(terminator.toStdString());
        const QString original =
            QStringLiteral("見て https://ex.com/x") + terminator + QStringLiteral("yz");
        EXPECT_EQ(FidelityGuard::verify(original, QStringLiteral("https://ex.com/x yz"),
                                        EditContract::faithful),
                  CleanupVerdict::accept());
    }
    // Any other character belongs to the address.
    EXPECT_EQ(FidelityGuard::verify(QStringLiteral("見て https://ex.com/x\u300Fyz"),
                                    QStringLiteral("https://ex.com/x yz"), EditContract::faithful),
              CleanupVerdict::reject(QStringLiteral("識別子の欠落: https://ex.com/x\u300Fyz")));
    EXPECT_EQ(FidelityGuard::verify(QStringLiteral("見て https://ex.com/x,yz"),
                                    QStringLiteral("https://ex.com/x yz"), EditContract::faithful),
              CleanupVerdict::reject(QStringLiteral("識別子の欠落: https://ex.com/x,yz")));
}

TEST(FidelityGuardKeyTokens, Runs)
{
    struct Case
    {
        const char *name;
        QString text;
        QStringList expected;
    };
    const Case cases[] = {
        {"Latin, digits, hiragana and katakana words",
         QStringLiteral("iPhone15はテストとコーヒー"),
         {"iPhone", "15", "テスト", "コーヒー"}},
        {"accented letters are not Latin class", QStringLiteral("caf\u00E9"), {"caf"}},
        {"a two-scalar katakana word is dropped", QStringLiteral("テス"), {}},
        {"a katakana word with a prolonged sound mark of two scalars", QStringLiteral("アー"), {}},
        {"a leading prolonged sound mark is not part of the token",
         QStringLiteral("ーテスト"),
         {"テスト"}},
        {"prolonged sound marks alone", QStringLiteral("ーー"), {}},
        {"class changes split runs", QStringLiteral("ABC123def"), {"ABC", "123", "def"}},
        {"full-width digits and letters are no class", QStringLiteral("１２３ＡＢＣ"), {}},
        {"the middle dot splits katakana words",
         QStringLiteral("テスト・ケース"),
         {"テスト", "ケース"}},
        {"a single letter or digit counts", QStringLiteral("a 1"), {"a", "1"}},
        {"duplicates are kept", QStringLiteral("42と42"), {"42", "42"}},
        {"the edges of the katakana block", QStringLiteral("ァヴヶ ヷヷヷ"), {"ァヴヶ"}},
        {"hiragana and kanji give nothing", QStringLiteral("今日はいい天気"), {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FidelityGuard::keyTokens(c.text), c.expected);
    }
}

TEST(FidelityGuardKeyTokens, ContentPreserved)
{
    EXPECT_TRUE(FidelityGuard::keyContentPreserved(QStringLiteral("iPhone15の価格"),
                                                   QStringLiteral("価格: iPhone 15")));
    EXPECT_FALSE(FidelityGuard::keyContentPreserved(QStringLiteral("iPhone15の価格"),
                                                    QStringLiteral("価格: iPhone")));
    EXPECT_TRUE(FidelityGuard::keyContentPreserved(QStringLiteral("容量は3 gigabytes"),
                                                   QStringLiteral("容量は3GB")));
    EXPECT_TRUE(
        FidelityGuard::keyContentPreserved(QStringLiteral("今日は晴れ"), QStringLiteral("晴れ")));
    EXPECT_EQ(FidelityGuard::missingKeyTokens(QStringLiteral("ABC と 123 と コーヒー"),
                                              QStringLiteral("ABCとコーヒー")),
              QStringList {"123"});
}

TEST(FidelityGuardIsFaithful, FormattingOnlyChanges)
{
    struct Case
    {
        const char *name;
        QString original;
        QString polished;
        bool expected;
    };
    const Case cases[] = {
        {"a comma inserted", QStringLiteral("今日は晴れです"), QStringLiteral("今日は、晴れです"),
         true},
        {"punctuation, brackets and line breaks inserted", QStringLiteral("彼は今日行くと言った"),
         QStringLiteral("彼は「今日行く」と言った。\n"), true},
        {"list markers and dashes", QStringLiteral("項目一 項目二"),
         QStringLiteral("• 項目一\n- 項目二 — *"), true},
        {"formatting removed", QStringLiteral("はい、そうです。"), QStringLiteral("はいそうです"),
         true},
        {"one word changed", QStringLiteral("今日は晴れです"), QStringLiteral("今日は雨です"),
         false},
        {"a word added", QStringLiteral("今日は晴れ"), QStringLiteral("今日はとても晴れ"), false},
        {"empty polished text", QStringLiteral("今日は"), QString(), false},
        {"both empty", QString(), QString(), false},
        {"formatting only against a full stop", QStringLiteral("、 \n"), QStringLiteral("。"),
         true},
        {"empty original against a full stop", QString(), QStringLiteral("。"), true},
        {"empty original against a letter", QString(), QStringLiteral("a"), false},
        {"letter case", QStringLiteral("Hello world"), QStringLiteral("hello world"), false},
        {"width", QStringLiteral("ABC"), QStringLiteral("ＡＢＣ"), false},
        {"an ASCII full stop is no formatting", QStringLiteral("done"), QStringLiteral("done."),
         false},
        {"an ASCII comma is no formatting", QStringLiteral("yes I do"), QStringLiteral("yes, I do"),
         false},
        {"ASCII question mark and colon are", QStringLiteral("note it"),
         QStringLiteral("note: it?"), true},
        {"full-width question mark is not", QStringLiteral("本当"), QStringLiteral("本当？"),
         false},
        {"scalar by scalar: a decomposed letter differs", QStringLiteral("caf\u00E9"),
         QStringLiteral("cafe\u0301"), false},
        // Ties drop from the original first, so a letter that only moved past formatting is lost.
        {"a letter moved across a comma", QStringLiteral("a\u3001"), QStringLiteral("\u3001a"),
         false},
        {"a comma moved across a letter", QStringLiteral("\u3001a"), QStringLiteral("a\u3001"),
         true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FidelityGuard::isFaithful(c.original, c.polished), c.expected);
    }
}

TEST(FidelityGuardIsFaithful, LargeInputs)
{
    // The callers' worst case: 3000 characters against twice that plus 64.
    QString original;
    QString polished;
    for (int i = 0; i < 3000; ++i) {
        const QChar c(char16_t(0x4E00 + (i * 7919) % 2000));
        original += c;
        polished += c;
        if (i % 2 == 1) {
            polished += QChar(u'\u3001');
        }
    }
    polished += repeated(QStringLiteral("\n"), 6064 - int(polished.size()));
    ASSERT_EQ(polished.size(), 6064);
    EXPECT_TRUE(FidelityGuard::isFaithful(original, polished));
    polished[4000] = QChar(u'x');
    EXPECT_FALSE(FidelityGuard::isFaithful(original, polished));

    // A table beyond the limit is not built; the text counts as unfaithful. The limit is near the
    // callers' bound: twice their longest candidate is already beyond it.
    const QString huge = repeated(QStringLiteral("あ"), 20000);
    EXPECT_FALSE(FidelityGuard::isFaithful(huge, huge));
    const QString twiceTheLongest = original + repeated(QStringLiteral("\n"), 2 * 6064 - 3000);
    EXPECT_FALSE(FidelityGuard::isFaithful(original, twiceTheLongest));
}

TEST(FidelityGuardVerify, IdentifiersOfHostileLengthAreNotTakenOnTrust)
{
    // A run of letters and digits without "@" makes the e-mail pattern backtrack from every start
    // position (seconds at 20,000 characters). The search gives up, and what it could not check
    // counts as lost.
    const QString run = repeated(QStringLiteral("user42"), 3334);
    for (const EditContract contract : {EditContract::faithful, EditContract::polish}) {
        EXPECT_EQ(FidelityGuard::verify(run, run, contract),
                  CleanupVerdict::reject(QStringLiteral("識別子の照合打ち切り")));
    }

    // A long ordinary original with its addresses is still judged in full.
    QString original;
    for (int i = 0; i < 60; ++i) {
        original +=
            QStringLiteral("資料は mail%1@example.com と https://example.com/%1 にあります。")
                .arg(i);
    }
    QString polished = original;
    polished.replace(QStringLiteral("。"), QStringLiteral("。\n"));
    EXPECT_EQ(FidelityGuard::verify(original, polished, EditContract::faithful),
              CleanupVerdict::accept());
    polished.replace(QStringLiteral("mail59@example.com"), QStringLiteral("mail59@example"));
    EXPECT_EQ(FidelityGuard::verify(original, polished, EditContract::faithful),
              CleanupVerdict::reject(QStringLiteral("識別子の欠落: mail59@example.com")));
}
