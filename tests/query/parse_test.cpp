// The query language: tokens, fields, plain terms, sizes, regular expressions and every
// error message, byte for byte.
#include <gtest/gtest.h>

#include <re2/re2.h>

#include "query/query.h"
#include "query/regex.h"

namespace nimbalo {
namespace {

std::string describe_term(const Term& t) {
    if (const auto* s = std::get_if<SubstringTerm>(&t))
        return std::string(s->case_sensitive ? "case" : "sub") + "(" + s->text + (s->on_path ? ",path)" : ")");
    if (const auto* g = std::get_if<GlobTerm>(&t)) return "glob(" + g->pattern + (g->on_path ? ",path)" : ")");
    const auto& r = std::get<RegexTerm>(t);
    return std::string(r.case_insensitive ? "re(" : "re-cs(") + r.pattern + (r.on_path ? ",path)" : ")");
}

// One line per query: terms, then -excluded, then ext=..., size filters and the kind.
std::string describe(const Result<Query>& r) {
    if (!r) return "error: " + r.error();
    const Query& q = *r;
    std::string out;
    auto add = [&](const std::string& s) { out += (out.empty() ? "" : " ") + s; };
    for (const auto& t : q.terms) add(describe_term(t));
    for (const auto& t : q.excluded) add("-" + describe_term(t));
    for (const auto& e : q.exts) add("ext=" + e);
    static const char* kOps[] = {">", ">=", "<", "<=", "=", "range"};
    for (const auto& f : q.sizes)
        add(std::string("size") + kOps[int(f.op)] + std::to_string(f.bound) + (f.op == SizeOp::Range ? ".." + std::to_string(f.upper) : ""));
    if (q.kind == Kind::Files) add("files");
    if (q.kind == Kind::Folders) add("folders");
    return out;
}

const std::string kSizeTail = " is not a size \xE2\x80\x94 try size:>10mb, size:<1kb or size:1mb..8mb";

TEST(ParseQuery, Table) {
    struct Case {
        const char* text;
        bool path_mode;
        std::string expected;
    };
    const Case cases[] = {
        // Tokens and quotes.
        {"report", false, "sub(report)"},
        {"  two   words\t", false, "sub(two) sub(words)"},
        {"fo\"o b\"ar", false, "sub(foo bar)"},
        {"\"\" x", false, "sub(x)"},
        {"\"open quote runs on", false, "sub(open quote runs on)"},
        {"a\xE3\x80\x80" "b", false, "sub(a) sub(b)"},                 // U+3000 separates
        {"a\xC2\xA0" "b\xE2\x80\xA8" "c", false, "sub(a) sub(b) sub(c)"},  // U+00A0, U+2028
        {"a\xE2\x80\x8B" "b", false, "sub(a\xE2\x80\x8B" "b)"},         // U+200B is no White_Space
        {"\"ext:foo bar\"", false, "ext=foo bar"},
        {"\"-old files\"", false, "-sub(old files)"},
        // Negation.
        {"-", false, "sub(-)"},
        {"!", false, "sub(!)"},
        {"--x", false, "-sub(-x)"},
        {"!x -y", false, "-sub(x) -sub(y)"},
        {"-ext:jpg", false, "ext=jpg"},
        {"-size:>1mb", false, "size>1048576"},
        {"-regex:foo", false, "-re(foo)"},
        // Plain terms, globs and path terms.
        {"*.log", false, "glob(*.log)"},
        {"*.log", true, "glob(**.log*,path)"},
        {"logs\\*.txt", false, "glob(logs\\*.txt,path)"},
        {"logs\\*.txt", true, "glob(logs\\*.txt,path)"},
        {"a/b", false, "sub(a/b,path)"},
        {"word", true, "sub(word,path)"},
        {"C:\\Users\\me", false, "sub(C:\\Users\\me,path)"},
        {"report:final", false, "sub(report:final)"},
        {"-report:final", false, "-sub(report:final)"},
        {"path:foo", false, "sub(foo,path)"},
        {"path:fo*", false, "glob(*fo**,path)"},
        {"path:a/b*", false, "glob(a/b*,path)"},
        {"PATH:x", false, "sub(x,path)"},
        {"-path:tmp", false, "-sub(tmp,path)"},
        // case:
        {"case:", false, "case()"},
        {"\"case:Read Me\"", false, "case(Read Me)"},
        {"case:A*B\\c", false, "case(A*B\\c)"},
        {"case:X", true, "case(X,path)"},
        // Type fields.
        {"folder:", false, "folders"},
        {"file:", false, "files"},
        {"file: folder:", false, "folders"},
        {"folder:projects", false, "sub(projects,path) folders"},
        {"-file:tmp", false, "-sub(tmp,path) files"},
        {"Folder:X", true, "sub(X,path) folders"},
        // Extensions.
        {"Ext:JPG", false, "ext=jpg"},
        {"ext:jpg,.PNG", false, "ext=jpg ext=png"},
        {"ext:a ext:b", false, "ext=a ext=b"},
        {"\"ext: ..tar , ,gz \"", false, "ext=tar ext=gz"},
        {"ext:\xC3\x89T\xC3\x89", false, "ext=\xC3\xA9t\xC3\xA9"},
        // Sizes.
        {"size:10mb", false, "size>=10485760"},
        {"SIZE:>1MB", false, "size>1048576"},
        {"size:>=1k", false, "size>=1024"},
        {"size:<=1k", false, "size<=1024"},
        {"size:<1kb", false, "size<1024"},
        {"size:=0", false, "size=0"},
        {"size:1kb..4kb", false, "sizerange1024..4096"},
        {"size:4kb..1kb", false, "sizerange4096..1024"},
        {"size:1..2..3", false, "error: '1..2..3'" + kSizeTail},
        {"\"size: >5 \"", false, "size>5"},
        // Regular expressions.
        {"regex:^scan\\d+", false, "re(^scan\\d+)"},
        {"re:x", true, "re(x,path)"},
        {"regex:(?-i)^Scan", false, "re-cs((?-i)^Scan)"},
        {"RE:a:b", false, "re(a:b)"},
        // Fields combine.
        {"report ext:txt size:<1kb -old", false, "sub(report) -sub(old) ext=txt size<1024"},
        // Errors.
        {"", false, "error: empty query"},
        {" \t\xE3\x80\x80 ", false, "error: empty query"},
        {"\"\"", false, "error: empty query"},
        {"ext:", false, "error: empty query"},
        {"ext:,.,", false, "error: empty query"},
        {"path:", false, "error: empty term"},
        {"path: x", false, "error: empty term"},
        {"regex:", false, "error: regex: needs a pattern after it"},
        {"re:", false, "error: regex: needs a pattern after it"},
        {"size:big", false, "error: 'big'" + kSizeTail},
        {"\"size:10 tb\"", false, "error: '10 tb'" + kSizeTail},
        {"size:", false, "error: ''" + kSizeTail},
        {"size:>", false, "error: '>'" + kSizeTail},
        {"size:1kb..", false, "error: '1kb..'" + kSizeTail},
        {"SIZE:-1", false, "error: '-1'" + kSizeTail},
        {"\"size: Big \"", false, "error: ' Big '" + kSizeTail},
        {"size:big regex:", false, "error: 'big'" + kSizeTail},   // the first failing token wins
        {"regex: size:big", false, "error: regex: needs a pattern after it"},
        {"regex:(", false, "error: regex: missing ): ("},
        {"regex:a**", false, "error: regex: bad repetition operator: **"},
    };
    for (const Case& c : cases) EXPECT_EQ(describe(parse_query(c.text, c.path_mode)), c.expected) << c.text;
}

TEST(ParseSize, Table) {
    struct Case {
        const char* text;
        bool ok;
        uint64_t bytes;
    };
    const Case cases[] = {
        {"0", true, 0},
        {"10", true, 10},
        {"1.5kb", true, 1536},
        {"0.4b", true, 0},
        {"1,024kb", true, 1048576},
        {"1,,0", true, 10},
        {"1e3", true, 1000},
        {"1E3K", true, 1024000},
        {" 2 MB ", true, 2097152},
        {"2\xC2\xA0mb", true, 2097152},   // NO-BREAK SPACE is trimmed too
        {"1g", true, 1073741824},
        {"1gb", true, 1073741824},
        {"3m", true, 3145728},
        {"7b", true, 7},
        {"+5", true, 5},
        {".5k", true, 512},
        {"5.", true, 5},
        {"-0", true, 0},
        {"1e-400", true, 0},
        {"9007199254740993", true, 9007199254740992ull},   // through a double
        {"18446744073709551615", true, UINT64_MAX},         // rounds up to 2^64: saturates
        {"18446744073709549568", true, 18446744073709549568ull},  // largest double below 2^64
        {"17179869184gb", true, UINT64_MAX},                // exactly 2^64
        {"1e300gb", true, UINT64_MAX},
        {"", false, 0},
        {"   ", false, 0},
        {"k", false, 0},
        {"kb", false, 0},
        {"b", false, 0},
        {"tb", false, 0},
        {"10tb", false, 0},
        {"-1", false, 0},
        {"-0.5k", false, 0},
        {"inf", false, 0},
        {"nan", false, 0},
        {"1e400", false, 0},
        {"0x10", false, 0},
        {"1 000", false, 0},
        {"1e", false, 0},
        {"1e3.5", false, 0},
        {"e3", false, 0},
        {"1..2", false, 0},
        {"5 kbb", false, 0},
    };
    for (const Case& c : cases) {
        auto r = parse_size(c.text);
        ASSERT_EQ(r.ok(), c.ok) << "'" << c.text << "'";
        if (c.ok) {
            EXPECT_EQ(*r, c.bytes) << "'" << c.text << "'";
        }
    }
}

TEST(MakePlainTerm, Table) {
    struct Case {
        const char* text;
        bool force_path;
        std::string expected;
    };
    const Case cases[] = {
        {"a", false, "sub(a)"},           {"a", true, "sub(a,path)"},
        {"a?", false, "glob(a?)"},        {"a?", true, "glob(*a?*,path)"},
        {"x/y?", true, "glob(x/y?,path)"}, {"x\\y", false, "sub(x\\y,path)"},
    };
    for (const Case& c : cases) {
        auto t = make_plain_term(c.text, c.force_path);
        ASSERT_TRUE(t.ok());
        EXPECT_EQ(describe_term(*t), c.expected);
    }
    auto empty = make_plain_term("", true);
    ASSERT_FALSE(empty.ok());
    EXPECT_EQ(empty.error(), "empty term");
}

TEST(Regex, NestingLimitIsCheckedBeforeCompiling) {
    auto nested = [](int depth) { return std::string(size_t(depth), '(') + "a" + std::string(size_t(depth), ')'); };
    EXPECT_TRUE(parse_query("regex:" + nested(50), false).ok());
    auto deep = parse_query("regex:" + nested(51), false);
    ASSERT_FALSE(deep.ok());
    EXPECT_EQ(deep.error(), "regex: nesting deeper than 50 levels");
    // Escaped and quoted parentheses and class members do not nest.
    EXPECT_EQ(regex_nesting_depth("\\(\\(\\Q(((\\E[(][^]((]"), 1);
    EXPECT_EQ(regex_nesting_depth("(a[[:alpha:](])(b)"), 2);
    // A very deep pattern fails fast with the clear text instead of exhausting anything.
    auto huge = parse_query("re:" + nested(100000), false);
    ASSERT_FALSE(huge.ok());
    EXPECT_EQ(huge.error(), "regex: nesting deeper than 50 levels");
}

TEST(Regex, CompiledSizeLimitAndCaseRetry) {
    // A program over 10 MiB is refused with RE2's own text.
    auto big = parse_query("regex:\\pL{1000}\\pL{1000}\\pL{1000}", false);
    ASSERT_FALSE(big.ok());
    EXPECT_EQ(big.error(), "regex: pattern too large - compile failed");
    // Case-insensitive unless "(?-i)" appears anywhere in the value.
    auto ci = compile_regex("^Scan");
    ASSERT_TRUE(ci.ok());
    EXPECT_TRUE(ci->case_insensitive);
    EXPECT_TRUE(RE2::PartialMatch("SCAN01", *ci->matcher));
    auto cs = compile_regex("x(?-i)^Scan");
    ASSERT_TRUE(cs.ok());
    EXPECT_FALSE(cs->case_insensitive);
    EXPECT_FALSE(RE2::PartialMatch("xSCAN", *cs->matcher));
}

TEST(Regex, AQueryIsBoundedInTermsAndCompiledSizeTogether) {
    auto words = [](size_t n, const std::string& word) {
        std::string q;
        for (size_t i = 0; i < n; ++i) q += word + std::to_string(i) + " ";
        return q;
    };
    EXPECT_TRUE(parse_query(words(kMaxQueryTerms, "regex:^a.*b"), false).ok());
    EXPECT_TRUE(parse_query(words(kMaxQueryTerms, "-note"), false).ok());
    // 450 regex terms once took a minute and most of a gigabyte: refused before any is compiled.
    for (const std::string& q : {words(kMaxQueryTerms + 1, "note"), words(450, "regex:(a|b|c)+[x-z]{20}")}) {
        auto r = parse_query(q, false);
        ASSERT_FALSE(r.ok());
        EXPECT_EQ(r.error(), "too many terms (at most 64 in one query)");
    }
    // A pattern that fits the budget alone does not fit it four times over.
    const std::string large = "regex:\\pL{500}";
    EXPECT_TRUE(parse_query(large, false).ok());
    auto together = parse_query(large + " " + large + " " + large + " " + large, false);
    ASSERT_FALSE(together.ok());
    EXPECT_EQ(together.error(), "regex: the query's patterns are too large together (10 MiB at most for all of them)");
}

}  // namespace
}  // namespace nimbalo
