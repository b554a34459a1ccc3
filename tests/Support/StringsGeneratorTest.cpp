#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>

namespace {

#ifdef SONORVELLE_STRINGS_GEN
const QString kGenerator = QStringLiteral(SONORVELLE_STRINGS_GEN);
#else
const QString kGenerator;
#endif

const QByteArray kEnglish = R"({
  "a": "Alpha",
  "b": "Hello %@",
  "c": "Gamma…"
})";

struct GeneratorRun
{
    int exitCode = -1;
    QString errors;
    QString output; // the generated source, empty when none was written
};

// Writes the files, runs the generator over "en" and "xx" (or the given codes), and reads back
// what it wrote.
GeneratorRun generate(const std::map<QString, QByteArray> &files,
                      const QStringList &codes = {QStringLiteral("en"), QStringLiteral("xx")})
{
    GeneratorRun run;
    QTemporaryDir folder;
    if (kGenerator.isEmpty() || !QFile::exists(kGenerator)) {
        ADD_FAILURE() << "the strings generator was not built (SONORVELLE_STRINGS_GEN)";
        return run;
    }
    for (const auto &[name, content] : files) {
        QFile file(QDir(folder.path()).filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    const QString outputPath = QDir(folder.path()).filePath(QStringLiteral("out.cpp"));
    QProcess process;
    process.start(kGenerator,
                  QStringList {"--folder", folder.path(), "--output", outputPath} + codes);
    EXPECT_TRUE(process.waitForFinished(30000));
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.errors = QString::fromUtf8(process.readAllStandardError());
    QFile output(outputPath);
    if (output.open(QIODevice::ReadOnly)) {
        run.output = QString::fromUtf8(output.readAll());
    }
    return run;
}

TEST(StringsGenerator, RefusesFaultyLanguageFiles)
{
    struct Row
    {
        const char *what;
        QByteArray other; // the second language's file; empty: the file is missing
        const char *message;
    };
    const Row rows[] = {
        {"missing file", QByteArray(), "xx.json: missing"},
        {"invalid JSON", R"({"a": "A", "b": )", "xx.json: invalid JSON"},
        {"not an object", R"(["a", "b", "c"])", "xx.json: the file must hold one JSON object"},
        {"text not a string", R"({"a": 1, "b": "%@", "c": "C"})",
         "xx.json: key \"a\": the text must be a JSON string"},
        {"repeated key", R"({"a": "A", "a": "A2", "b": "%@", "c": "C"})",
         "xx.json: key \"a\" appears more than once"},
        {"missing key", R"({"a": "A", "b": "Hallo %@"})", "xx.json: missing key \"c\""},
        {"extra key", R"({"a": "A", "b": "Hallo %@", "c": "C", "d": "D"})",
         "xx.json: unknown key \"d\""},
        {"other order", R"({"b": "Hallo %@", "a": "A", "c": "C"})",
         "xx.json: key \"b\" is at position 1, where en.json has \"a\""},
        {"placeholder dropped", R"({"a": "A", "b": "Hallo", "c": "C"})",
         "xx.json: key \"b\": placeholders differ from English"},
        {"placeholder doubled", R"({"a": "A", "b": "%@ %@", "c": "C"})",
         "xx.json: key \"b\": placeholders differ from English"},
        {"placeholder added", R"({"a": "A %@", "b": "%@", "c": "C"})",
         "xx.json: key \"a\": placeholders differ from English"},
        {"other conversion", R"({"a": "A", "b": "Hallo %s", "c": "C"})",
         "xx.json: key \"b\": placeholders differ from English"},
        {"empty text", R"({"a": "", "b": "%@", "c": "C"})", "xx.json: key \"a\": empty text"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        std::map<QString, QByteArray> files {{"en.json", kEnglish}};
        if (!row.other.isEmpty()) {
            files["xx.json"] = row.other;
        }
        const GeneratorRun run = generate(files);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.errors.contains(QString::fromUtf8(row.message)))
            << run.errors.toStdString();
        EXPECT_TRUE(run.output.isEmpty()) << "nothing is written when a file is faulty";
    }
}

TEST(StringsGenerator, ChecksTheEnglishFileToo)
{
    const GeneratorRun run =
        generate({{"en.json", R"({"a": "A", "b": ""})"}}, {QStringLiteral("en")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.errors.contains(QStringLiteral("en.json: key \"b\": empty text")))
        << run.errors.toStdString();
}

TEST(StringsGenerator, ReportsEveryFaultNotJustTheFirst)
{
    const GeneratorRun run = generate({{"en.json", kEnglish},
                                       {"xx.json", R"({"a": "", "b": "Hallo", "c": "C"})"},
                                       {"yy.json", R"({"a": "A", "b": "%@"})"}},
                                      {"en", "xx", "yy"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.errors.contains(QStringLiteral("xx.json: key \"a\": empty text")));
    EXPECT_TRUE(run.errors.contains(QStringLiteral("xx.json: key \"b\": placeholders differ")));
    EXPECT_TRUE(run.errors.contains(QStringLiteral("yy.json: missing key \"c\"")));
}

TEST(StringsGenerator, WritesUtf16LiteralsInOrder)
{
    const QByteArray english = R"({
  "quote": "Say \"hi\" \\ ok? “%@” → …",
  "wide": "日本語 😀",
  "line": "one\ntwo"
})";
    const GeneratorRun run = generate({{"en.json", english}}, {QStringLiteral("en")});
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    EXPECT_TRUE(run.output.contains(
        QStringLiteral(R"({u"quote", 5, u"Say \"hi\" \\ ok\? \u201C%@\u201D \u2192 \u2026", 23})")))
        << run.output.toStdString();
    // A character outside the basic plane counts two UTF-16 units.
    EXPECT_TRUE(run.output.contains(
        QStringLiteral(R"({u"wide", 4, u"\u65E5\u672C\u8A9E \U0001F600", 6})")));
    EXPECT_TRUE(run.output.contains(QStringLiteral(R"({u"line", 4, u"one\012two", 7})")));
    EXPECT_LT(run.output.indexOf(QStringLiteral("u\"quote\"")),
              run.output.indexOf(QStringLiteral("u\"wide\"")));
    EXPECT_LT(run.output.indexOf(QStringLiteral("u\"wide\"")),
              run.output.indexOf(QStringLiteral("u\"line\"")));
    EXPECT_TRUE(run.output.contains(QStringLiteral("const qsizetype languageCount = 1;")));
}

} // namespace
