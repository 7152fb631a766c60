// The keyword list against the grammar's behaviour, and the editor files against the keyword list.
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "semantic/keywords.hpp"
#include "support.hpp"

namespace {

using vorla::test::find;
using vorla::test::parses;
using vorla::test::program_tree;
namespace sem = vorla::detail::semantic;
using words = std::set<std::string>;

std::string narrow_ascii(const wchar_t* w)
{
    std::string out;
    for (; *w; ++w) out += static_cast<char>(*w);
    return out;
}

// What the grammar reserves, split into words: `unsigned int` gives "unsigned" and "int".
words keyword_words(bool types)
{
    words out;
    for (const sem::keyword& k : sem::keywords) {
        const bool is_type = k.cls == sem::keyword_class::type || k.cls == sem::keyword_class::container;
        if (is_type != types || k.cls == sem::keyword_class::directive) continue;
        if (k.cls == sem::keyword_class::type_part) continue;  // named with the type it begins
        std::istringstream in(narrow_ascii(k.text));
        for (std::string w; in >> w;) out.insert(w);
    }
    return out;
}

std::string listed(const words& w)
{
    std::string out;
    for (const std::string& s : w) out += (out.empty() ? "" : " ") + s;
    return out;
}

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// True when the statement parses, inside a process body, as a declaration.
bool declares(const std::wstring& statement)
{
    const std::wstring program = L"process main() {\n" + statement + L"\n}\n";
    return parses(program) && find(program_tree(program), sem::rule::declaration).has_value();
}

// The list says what the grammar does: types and containers declare, every reserved word is refused as a
// name, and the two keywords that are not reserved (`unsigned`, `#include`) are still names.
TEST(keywords, each_keyword_behaves_in_the_grammar_as_its_class_says)
{
    for (const sem::keyword& k : sem::keywords) {
        const std::wstring text = k.text;
        const std::string shown = narrow_ascii(k.text);
        switch (k.cls) {
        case sem::keyword_class::type:
        case sem::keyword_class::container: {
            EXPECT_TRUE(declares(text + L" x;")) << shown;
            const sem::ptree tree = program_tree(text + L" x;");
            const auto expected =
                k.cls == sem::keyword_class::type ? sem::rule::builtin_type : sem::rule::container_type;
            EXPECT_TRUE(find(tree, expected)) << shown;
            if (k.cls == sem::keyword_class::container || text.find(L' ') == std::wstring::npos) {
                EXPECT_FALSE(parses(L"int " + text + L";")) << shown << " is reserved";
            }
            break;
        }
        case sem::keyword_class::word:
            EXPECT_FALSE(parses(L"int " + text + L";")) << shown << " is reserved";
            EXPECT_FALSE(declares(text + L" x(1);")) << shown << " is not a type";
            break;
        case sem::keyword_class::type_part:
            EXPECT_TRUE(parses(L"int " + text + L";")) << shown << " alone is a name";
            break;
        case sem::keyword_class::directive:
            EXPECT_TRUE(find(program_tree(text + L" \"x.vl\""), sem::rule::include_def)) << shown;
            EXPECT_TRUE(parses(L"int " + text.substr(1) + L";")) << shown << " is not reserved";
            break;
        }
    }
    // Prefixes and extensions of keywords are names.
    for (const wchar_t* name : {L"integer", L"int2", L"stringify", L"iffy", L"classes", L"_while"})
        EXPECT_TRUE(parses(std::wstring(L"int ") + name + L";")) << narrow_ascii(name);
}

// ---- a small JSON reader, enough for the TextMate grammar (objects, arrays, strings, literals, numbers)

struct json {
    enum kind_t { null, boolean, number, string, array, object } kind = null;
    std::string text;                                    // a string's value
    std::vector<json> items;                             // an array's items, an object's values
    std::vector<std::string> keys;                       // an object's keys, beside its values
    const json* get(const std::string& key) const
    {
        for (std::size_t i = 0; i < keys.size(); ++i)
            if (keys[i] == key) return &items[i];
        return nullptr;
    }
};

class json_reader {
public:
    explicit json_reader(const std::string& s) : s_(s) {}
    json document()
    {
        json j = value();
        space();
        if (i_ != s_.size()) fail("text after the document");
        return j;
    }
    const std::string& error() const { return error_; }

private:
    void fail(const std::string& what)
    {
        if (error_.empty()) error_ = what + " at offset " + std::to_string(i_);
        i_ = s_.size();
    }
    void space()
    {
        while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_]))) ++i_;
    }
    bool eat(char c)
    {
        space();
        if (i_ < s_.size() && s_[i_] == c) return ++i_, true;
        return false;
    }
    std::string string_body()
    {
        std::string out;
        while (i_ < s_.size() && s_[i_] != '"') {
            char c = s_[i_++];
            if (c == '\\' && i_ < s_.size()) {
                const char e = s_[i_++];
                switch (e) {
                case 'n': c = '\n'; break;
                case 't': c = '\t'; break;
                case 'u': fail("\\u escapes are not used in the editor files"); return out;
                default: c = e;  // \" \\ \/
                }
            }
            out += c;
        }
        if (!eat('"')) fail("unterminated string");
        return out;
    }
    json value()
    {
        json j;
        space();
        if (eat('{')) {
            j.kind = json::object;
            if (eat('}')) return j;
            do {
                if (!eat('"')) return fail("object key expected"), j;
                j.keys.push_back(string_body());
                if (!eat(':')) return fail("':' expected"), j;
                j.items.push_back(value());
            } while (eat(','));
            if (!eat('}')) fail("'}' expected");
        } else if (eat('[')) {
            j.kind = json::array;
            if (eat(']')) return j;
            do j.items.push_back(value());
            while (eat(','));
            if (!eat(']')) fail("']' expected");
        } else if (eat('"')) {
            j.kind = json::string;
            j.text = string_body();
        } else {
            const std::size_t from = i_;
            while (i_ < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[i_])) || s_[i_] == '-' ||
                                      s_[i_] == '.' || s_[i_] == '+'))
                ++i_;
            const std::string word = s_.substr(from, i_ - from);
            if (word == "true" || word == "false") j.kind = json::boolean;
            else if (word == "null") j.kind = json::null;
            else if (!word.empty() && (std::isdigit(static_cast<unsigned char>(word[0])) || word[0] == '-'))
                j.kind = json::number;
            else fail("value expected");
        }
        return j;
    }

    const std::string& s_;
    std::size_t i_ = 0;
    std::string error_;
};

bool starts_with(const std::string& s, const char* head) { return s.rfind(head, 0) == 0; }

// The words of a keyword pattern written as \b(?:w1|w2|...)\b.
words pattern_words(const std::string& match, std::vector<std::string>& problems)
{
    words out;
    const std::string open = "\\b(?:", close = ")\\b";
    if (!starts_with(match, open.c_str()) || match.size() < open.size() + close.size() ||
        match.compare(match.size() - close.size(), close.size(), close) != 0) {
        problems.push_back("keyword pattern not of the form \\b(?:a|b)\\b: " + match);
        return out;
    }
    std::istringstream in(match.substr(open.size(), match.size() - open.size() - close.size()));
    for (std::string w; std::getline(in, w, '|');) {
        for (char c : w)
            if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') problems.push_back("not a word: " + w);
        out.insert(w);
    }
    return out;
}

// Every scope that names keywords: storage.type.* for types, keyword.* (not operators), constant.language.*
// and variable.language.* for the other reserved words; meta.preprocessor.include.* for `#include`.
void collect_textmate(const json& j, words& types, words& others, bool& include, std::vector<std::string>& problems)
{
    const json* name = j.kind == json::object ? j.get("name") : nullptr;
    const json* match = j.kind == json::object ? j.get("match") : nullptr;
    if (name && match && name->kind == json::string && match->kind == json::string) {
        const std::string& n = name->text;
        if (starts_with(n, "storage.type.")) {
            for (const std::string& w : pattern_words(match->text, problems)) types.insert(w);
        } else if (starts_with(n, "meta.preprocessor.include.")) {
            include = include || match->text.find("#include") != std::string::npos;
        } else if ((starts_with(n, "keyword.") && !starts_with(n, "keyword.operator.")) ||
                   starts_with(n, "constant.language.") || starts_with(n, "variable.language.")) {
            for (const std::string& w : pattern_words(match->text, problems)) others.insert(w);
        }
    }
    for (const json& item : j.items) collect_textmate(item, types, others, include, problems);
}

TEST(keywords, textmate_grammar_names_exactly_the_reserved_types_and_words)
{
    const std::string text = read_file(VORLA_SOURCE_DIR "/editors/vorla.tmLanguage.json");
    ASSERT_FALSE(text.empty()) << "cannot read editors/vorla.tmLanguage.json";
    json_reader reader(text);
    const json doc = reader.document();
    ASSERT_EQ(reader.error(), "") << "editors/vorla.tmLanguage.json is not valid JSON";
    ASSERT_NE(doc.get("scopeName"), nullptr);
    EXPECT_EQ(doc.get("scopeName")->text, "source.vorla");

    words types, others;
    bool include = false;
    std::vector<std::string> problems;
    collect_textmate(doc, types, others, include, problems);
    for (const std::string& p : problems) ADD_FAILURE() << p;
    EXPECT_EQ(listed(types), listed(keyword_words(true)));
    EXPECT_EQ(listed(others), listed(keyword_words(false)));
    EXPECT_TRUE(include) << "no meta.preprocessor.include pattern for #include";
}

// Vim: `syntax keyword` lines; the groups vorlaType and vorlaContainer hold the types, every other group the
// other reserved words; `#include` is matched by the group vorlaInclude.
TEST(keywords, vim_syntax_names_exactly_the_reserved_types_and_words)
{
    std::ifstream in(VORLA_SOURCE_DIR "/editors/vim/syntax/vorla.vim");
    ASSERT_TRUE(in) << "cannot read editors/vim/syntax/vorla.vim";
    words types, others;
    bool include = false;
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string command, kind, group;
        fields >> command >> kind >> group;
        if ((command == "syntax" || command == "syn") && kind == "keyword") {
            words& into = group == "vorlaType" || group == "vorlaContainer" ? types : others;
            for (std::string w; fields >> w;) into.insert(w);
        } else if ((command == "syntax" || command == "syn") && kind == "match" && group == "vorlaInclude") {
            include = include || line.find("#include") != std::string::npos;
        }
    }
    EXPECT_EQ(listed(types), listed(keyword_words(true)));
    EXPECT_EQ(listed(others), listed(keyword_words(false)));
    EXPECT_TRUE(include) << "no vorlaInclude match for #include";
}

}  // namespace
