// Turns the interface texts (one JSON file per language) into constant C++ data.
//
//     sonorvelle_strings_gen --folder <dir> --output <file.cpp> en ja ko ...
//
// The first language is the reference. Every other file must hold exactly the reference's keys,
// in the same order, each with a non-empty text whose printf-style placeholders ("%@") are those
// of the reference text. Any fault is reported with the file and key, and the exit status is 1;
// nothing is written then. Bad arguments give status 2.

#include <QList>
#include <QString>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

using Json = nlohmann::ordered_json;

struct Table
{
    std::string code;
    std::vector<std::pair<std::string, std::string>> pairs; // UTF-8, in file order
};

class Report
{
public:
    void error(const std::string &file, const std::string &message)
    {
        std::cerr << "strings-gen: " << file << ": " << message << '\n';
        ++m_count;
    }
    int count() const { return m_count; }

private:
    int m_count = 0;
};

std::string quoted(const std::string &text)
{
    return '"' + text + '"';
}

std::optional<Table> readTable(const std::filesystem::path &folder, const std::string &code,
                               Report &report)
{
    const std::string fileName = code + ".json";
    const std::filesystem::path path = folder / fileName;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        report.error(fileName, "missing (looked for " + path.string() + ")");
        return std::nullopt;
    }
    std::stringstream buffer;
    buffer << in.rdbuf();

    // The parser keeps only the last of repeated keys, so repeats are caught while parsing.
    std::vector<std::string> repeated;
    std::set<std::string> seen;
    const Json::parser_callback_t watchKeys = [&](int depth, Json::parse_event_t event,
                                                  Json &parsed) {
        if (event == Json::parse_event_t::key && depth == 1) {
            const std::string key = parsed.get<std::string>();
            if (!seen.insert(key).second) {
                repeated.push_back(key);
            }
        }
        return true;
    };

    Json document;
    try {
        document = Json::parse(buffer.str(), watchKeys);
    } catch (const Json::parse_error &error) {
        report.error(fileName, std::string("invalid JSON: ") + error.what());
        return std::nullopt;
    }
    if (!document.is_object()) {
        report.error(fileName, "the file must hold one JSON object of key/text pairs");
        return std::nullopt;
    }

    bool valid = true;
    for (const std::string &key : repeated) {
        report.error(fileName, "key " + quoted(key) + " appears more than once");
        valid = false;
    }
    Table table;
    table.code = code;
    for (const auto &[key, value] : document.items()) {
        if (!value.is_string()) {
            report.error(fileName, "key " + quoted(key) + ": the text must be a JSON string");
            valid = false;
            continue;
        }
        table.pairs.emplace_back(key, value.get<std::string>());
    }
    if (!valid) {
        return std::nullopt;
    }
    return table;
}

// Every printf-style conversion ("%@", and any other "%x" a translator might type), sorted.
std::vector<std::string> placeholders(const std::string &text)
{
    std::vector<std::string> found;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%') {
            found.push_back(i + 1 < text.size() ? text.substr(i, 2) : std::string("%"));
            ++i;
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

std::string describe(const std::vector<std::string> &marks)
{
    if (marks.empty()) {
        return "none";
    }
    std::string text;
    for (const std::string &mark : marks) {
        text += (text.empty() ? "" : " ") + quoted(mark);
    }
    return text;
}

void checkTexts(const Table &table, const std::map<std::string, std::string> &reference,
                Report &report)
{
    const std::string fileName = table.code + ".json";
    for (const auto &[key, text] : table.pairs) {
        if (text.empty()) {
            report.error(fileName, "key " + quoted(key) + ": empty text");
        }
        const auto english = reference.find(key);
        if (english == reference.end()) {
            continue;
        }
        const auto expected = placeholders(english->second);
        const auto actual = placeholders(text);
        if (expected != actual) {
            report.error(fileName,
                         "key " + quoted(key) + ": placeholders differ from English ("
                             + describe(expected) + " in English, " + describe(actual) + " here)");
        }
    }
}

void checkKeys(const Table &table, const Table &english, Report &report)
{
    const std::string fileName = table.code + ".json";
    std::set<std::string> englishKeys;
    for (const auto &pair : english.pairs) {
        englishKeys.insert(pair.first);
    }
    std::set<std::string> keys;
    for (const auto &pair : table.pairs) {
        keys.insert(pair.first);
    }
    bool sameSet = true;
    for (const auto &pair : english.pairs) {
        if (!keys.count(pair.first)) {
            report.error(fileName, "missing key " + quoted(pair.first));
            sameSet = false;
        }
    }
    for (const auto &pair : table.pairs) {
        if (!englishKeys.count(pair.first)) {
            report.error(fileName,
                         "unknown key " + quoted(pair.first) + " (not in " + english.code
                             + ".json)");
            sameSet = false;
        }
    }
    if (!sameSet) {
        return;
    }
    for (std::size_t i = 0; i < table.pairs.size(); ++i) {
        if (table.pairs[i].first != english.pairs[i].first) {
            report.error(fileName,
                         "key " + quoted(table.pairs[i].first) + " is at position "
                             + std::to_string(i + 1) + ", where " + english.code + ".json has "
                             + quoted(english.pairs[i].first) + " (keep the English order)");
            return;
        }
    }
}

// A UTF-16 literal body: ASCII as is, everything else as universal character names, control
// characters as octal escapes (a universal character name may not name them).
std::string literal(const std::string &utf8)
{
    const QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    std::string out;
    char buffer[16];
    for (const char32_t codePoint : text.toUcs4()) {
        if (codePoint == U'"' || codePoint == U'\\' || codePoint == U'?') {
            out += '\\';
            out += static_cast<char>(codePoint);
        } else if (codePoint >= 0x20 && codePoint < 0x7F) {
            out += static_cast<char>(codePoint);
        } else if (codePoint < 0x20 || codePoint == 0x7F) {
            std::snprintf(buffer, sizeof buffer, "\\%03o", static_cast<unsigned>(codePoint));
            out += buffer;
        } else if (codePoint <= 0xFFFF) {
            std::snprintf(buffer, sizeof buffer, "\\u%04X", static_cast<unsigned>(codePoint));
            out += buffer;
        } else {
            std::snprintf(buffer, sizeof buffer, "\\U%08X", static_cast<unsigned>(codePoint));
            out += buffer;
        }
    }
    return out;
}

qsizetype utf16Length(const std::string &utf8)
{
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())).size();
}

std::string generate(const std::vector<Table> &tables)
{
    std::ostringstream out;
    out << "// Generated by sonorvelle_strings_gen from src/Support/Strings/*.json. Do not edit.\n"
        << "#include \"Support/Strings/StringsData.h\"\n\n"
        << "namespace StringsData {\n\nnamespace {\n\n";
    for (std::size_t i = 0; i < tables.size(); ++i) {
        out << "// " << tables[i].code << "\nconstexpr Pair kPairs" << i << "[] = {\n";
        for (const auto &[key, text] : tables[i].pairs) {
            out << "    {u\"" << literal(key) << "\", " << utf16Length(key) << ", u\""
                << literal(text) << "\", " << utf16Length(text) << "},\n";
        }
        out << "};\n\n";
    }
    out << "} // namespace\n\nconst Language languages[] = {\n";
    for (std::size_t i = 0; i < tables.size(); ++i) {
        out << "    {u\"" << literal(tables[i].code) << "\", " << utf16Length(tables[i].code)
            << ", kPairs" << i << ", " << tables[i].pairs.size() << "},\n";
    }
    out << "};\n\nconst qsizetype languageCount = " << tables.size()
        << ";\n\n} // namespace StringsData\n";
    return out.str();
}

bool writeAtomically(const std::filesystem::path &path, const std::string &content)
{
    std::filesystem::path temporary = path;
    temporary += ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << content;
        if (!out.flush()) {
            return false;
        }
    }
    std::error_code error;
    std::filesystem::rename(temporary, path, error);
    return !error;
}

int usage()
{
    std::cerr << "usage: sonorvelle_strings_gen --folder <dir> --output <file.cpp> <reference "
                 "code> [<code>...]\n";
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    std::filesystem::path folder;
    std::filesystem::path output;
    std::vector<std::string> codes;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if ((argument == "--folder" || argument == "--output") && i + 1 < argc) {
            (argument == "--folder" ? folder : output) = argv[++i];
        } else if (argument.rfind("--", 0) == 0) {
            return usage();
        } else {
            codes.push_back(argument);
        }
    }
    if (folder.empty() || output.empty() || codes.empty()) {
        return usage();
    }
    if (std::set<std::string>(codes.begin(), codes.end()).size() != codes.size()) {
        std::cerr << "strings-gen: a language is listed twice\n";
        return 2;
    }

    Report report;
    std::vector<std::optional<Table>> tables;
    for (const std::string &code : codes) {
        tables.push_back(readTable(folder, code, report));
    }
    if (tables.front()) {
        const Table &english = *tables.front();
        const std::map<std::string, std::string> reference(english.pairs.begin(),
                                                           english.pairs.end());
        for (const auto &table : tables) {
            if (!table) {
                continue;
            }
            if (&table != &tables.front()) {
                checkKeys(*table, english, report);
            }
            checkTexts(*table, reference, report);
        }
    }
    if (report.count() > 0) {
        std::cerr << "strings-gen: " << report.count()
                  << " fault(s) in the interface texts; nothing generated\n";
        return 1;
    }

    std::vector<Table> complete;
    for (auto &table : tables) {
        complete.push_back(std::move(*table));
    }
    if (!writeAtomically(output, generate(complete))) {
        std::cerr << "strings-gen: cannot write " << output.string() << '\n';
        return 1;
    }
    return 0;
}
