// search(): plans, the per-entry test, the prefilter, and randomized and exhaustive
// comparisons with the single-threaded reference evaluation.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "index/contains.h"
#include "query/plan.h"
#include "query/regex.h"
#include "query/search.h"
#include "support/index_fixtures.h"
#include "support/reference_search.h"

namespace nimbalo {
namespace {

using namespace nimbalo::testing;

std::vector<std::string> names_of(const Result<std::vector<SearchHit>>& r) {
    std::vector<std::string> out;
    if (!r) return {"error: " + r.error()};
    for (const auto& h : r.value()) out.emplace_back(h.name);
    return out;
}

Index sample_index() {
    return build_index({dir(20, 5, "notes.txt"), file(21, 5, "archive.TAR.GZ", 5000), file(22, 5, "setup1"), file(23, 5, "setup"),
                        file(24, 5, "setup12"), file(25, 5, "APP.LOG", 10), file(26, 5, "Scan01.txt", 2048), file(27, 5, "tmpfile"),
                        dir(28, 5, "projects"), file(29, 20, "empty", 0), file(30, 28, "ab1", 1024), file(31, 28, "cd1", 4096),
                        file(32, 28, "bcd", 4097), file(33, 20, "setup1"), file(34, 5, "\xE2\x84\xAA" "elvin.txt"),
                        file(35, 5, "\xC4\xB0"), file(36, 5, "R\xC3\x89SUM\xC3\x89.doc")},
                       'C');
}

TEST(Search, Table) {
    const Index ix = sample_index();
    using V = std::vector<std::string>;
    struct Case {
        const char* query;
        bool path_mode;
        uint64_t limit;
        V names;
    };
    const Case cases[] = {
        {"setup?", false, 100, {"setup1", "setup1"}},
        {"*.log", false, 100, {"APP.LOG"}},
        {"ext:gz", false, 100, {"archive.TAR.GZ"}},
        {"ext:tar.gz", false, 100, {}},
        {"ext:txt", false, 100, {"Scan01.txt", "\xE2\x84\xAA" "elvin.txt"}},
        {"size:<1kb", false, 100, {"setup1", "setup", "setup12", "APP.LOG", "tmpfile", "\xE2\x84\xAA" "elvin.txt", "\xC4\xB0", "R\xC3\x89SUM\xC3\x89.doc", "empty", "setup1"}},
        {"size:1kb..4kb", false, 100, {"Scan01.txt", "ab1", "cd1"}},
        {"size:4kb..1kb", false, 100, {}},
        {"size:=0 ext:txt", false, 100, {"\xE2\x84\xAA" "elvin.txt"}},
        {"folder:", false, 100, {"notes.txt", "projects"}},
        {"folder:", false, 1, {"notes.txt"}},
        {"file:notes", false, 100, {"empty", "setup1"}},
        {"-tmp", false, 3, {"notes.txt", "archive.TAR.GZ", "setup1"}},
        {"regex:^scan\\d+", false, 100, {"Scan01.txt"}},
        {"regex:(?-i)^scan", false, 100, {}},
        {"setup1", false, 100, {"setup1", "setup12", "setup1"}},
        {"setup1", false, 0, {}},
        {"size:big", false, 0, {"error: 'big' is not a size \xE2\x80\x94 try size:>10mb, size:<1kb or size:1mb..8mb"}},
        {"notes.txt\\", false, 100, {"empty", "setup1"}},
        {"notes", true, 100, {"notes.txt", "empty", "setup1"}},
        {"c:\\projects\\", false, 100, {"ab1", "cd1", "bcd"}},
        {"case:R\xC3\x89SUM", false, 100, {"R\xC3\x89SUM\xC3\x89.doc"}},
        {"case:r\xC3\xA9sum", false, 100, {}},
        {"r\xC3\xA9sum\xC3\xA9", false, 100, {"R\xC3\x89SUM\xC3\x89.doc"}},
        {"resume", false, 100, {}},
        // Issue 4: the regex prefilter must not drop names the expression matches.
        {"regex:^abc?", false, 100, {"ab1"}},
        {"regex:^ab|cd", false, 100, {"ab1", "cd1", "bcd"}},
        {"regex:^a{0,2}bcd", false, 100, {"bcd"}},
        {"regex:^cd1* ext:txt", false, 100, {}},
        // A character whose lower-case form is ASCII (KELVIN SIGN -> k) or longer (U+0130).
        {"kelvin*", false, 100, {"\xE2\x84\xAA" "elvin.txt"}},
        {"*kelvin* -zzz", false, 100, {"\xE2\x84\xAA" "elvin.txt"}},
        {"\xE2\x84\xAA" "elvin", false, 100, {"\xE2\x84\xAA" "elvin.txt"}},
        {"\xE2\x84\xAA" "elvin -zzz", false, 100, {"\xE2\x84\xAA" "elvin.txt"}},
        {"\xC4\xB0", false, 100, {"\xC4\xB0"}},
        {"\xC4\xB0 -zzz", false, 100, {"\xC4\xB0"}},
        {"regex:^kelvin", false, 100, {"\xE2\x84\xAA" "elvin.txt"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(names_of(search(ix, c.query, c.limit, c.path_mode)), c.names) << c.query;
        auto q = parse_query(c.query, c.path_mode);
        if (q.ok()) {
            std::vector<std::string> ref;
            for (const auto& p : ref_search(ix, *q, c.limit)) ref.push_back(p.substr(p.rfind('\\') + 1));
            EXPECT_EQ(ref, c.names) << "reference disagrees with the table: " << c.query;
        }
    }
}

TEST(Search, PlanChoice) {
    struct Case {
        const char* query;
        bool path_mode;
        const char* name_needle;
        const char* path_needle;
        const char* prefilter;
        bool needs_path;
    };
    const Case cases[] = {
        {"word", false, "word", nullptr, nullptr, false},
        {"Word", true, nullptr, "Word", nullptr, false},
        {"a\\b", false, nullptr, nullptr, nullptr, true},  // a path term without path mode
        {"report *fin*", false, nullptr, nullptr, "report", false},
        {"ab *.log", false, nullptr, nullptr, ".log", false},
        {"abc abcd", false, nullptr, nullptr, "abcd", false},
        {"abcd wxyz", false, nullptr, nullptr, "abcd", false},  // a later candidate must be longer
        {"-excluded", false, nullptr, nullptr, nullptr, false},
        {"word -x\\y", false, nullptr, nullptr, "word", true},
        {"case:Exact", false, nullptr, nullptr, "Exact", false},
        {"word ext:txt", false, nullptr, nullptr, "word", false},
        {"path:long_word ab", false, nullptr, nullptr, nullptr, true},
        {"\xC3\xA9t\xC3\xA9", false, "\xC3\xA9t\xC3\xA9", nullptr, nullptr, false},
        {"x \xC3\xA9t\xC3\xA9", false, nullptr, nullptr, "\xC3\xA9t\xC3\xA9", false},  // 3 characters, 5 bytes
        {"regex:^scan\\d", false, nullptr, nullptr, "can", false},  // s may match LONG S
        {"regex:^report_x", false, nullptr, nullptr, "report_x", false},
        {"regex:(?-i)^Scan_x", false, nullptr, nullptr, nullptr, false},  // does not start with ^
        {"regex:^abcd?", false, nullptr, nullptr, "abc", false},
        {"regex:^abcd*", false, nullptr, nullptr, "abc", false},
        {"regex:^abcd{0,1}", false, nullptr, nullptr, "abc", false},
        {"regex:^abcd+", false, nullptr, nullptr, "abcd", false},
        {"regex:^abcd|x", false, nullptr, nullptr, nullptr, false},
        {"regex:abcd", false, nullptr, nullptr, nullptr, false},
    };
    for (const Case& c : cases) {
        auto q = parse_query(c.query, c.path_mode);
        ASSERT_TRUE(q.ok()) << c.query;
        const Plan p = choose_plan(*q, c.path_mode);
        EXPECT_EQ(p.name_needle.value_or("<none>"), c.name_needle ? c.name_needle : "<none>") << c.query;
        EXPECT_EQ(p.path_needle.value_or("<none>"), c.path_needle ? c.path_needle : "<none>") << c.query;
        EXPECT_EQ(p.prefilter ? p.prefilter->text : "<none>", c.prefilter ? c.prefilter : "<none>") << c.query;
        EXPECT_EQ(p.needs_path, c.needs_path) << c.query;
    }
}

// Issue 4: over many generated expressions and names, every name an expression matches
// contains its prefilter literal (so the prefilter can never change a result).
TEST(Prefilter, Issue4_RegexLiteralIsInEveryMatch) {
    const uint64_t seed = 8086;
    std::printf("seed %llu\n", (unsigned long long)seed);
    std::mt19937_64 rng(seed);
    const std::vector<std::string> pieces{"a", "b", "c", "k", "s", "K", "S", "1", " ", "-", "_", "\xC3\xA9", "?", "*", "+",
                                          "{0,2}", "{2}", "|", "(", ")", "(?:", "\\d", ".", "[ab]", "$", "(?i)", "\\Q*\\E",
                                          "\\b", "??", "*?"};
    const std::vector<std::string> atoms{"a", "b", "c", "k", "s", "A", "B", "C", "K", "S", "1", " ", "-", "_", "\xC3\xA9",
                                         "\xC3\x89", "\xE2\x84\xAA", "\xC5\xBF", "x", "*"};
    size_t with_literal = 0;
    for (int i = 0; i < 4000; ++i) {
        std::string pattern = (i % 4 == 0 ? "(?-i)^" : "^");
        for (int n = 1 + int(rng() % 7); n > 0; --n) pattern += pieces[rng() % pieces.size()];
        auto re = compile_regex(pattern);
        if (!re.ok()) continue;
        const std::string lit = regex_required_literal(pattern, re->case_insensitive);
        if (lit.empty()) continue;
        ++with_literal;
        for (int k = 0; k < 60; ++k) {
            std::string name;
            // Names built to start like the pattern's run, with random variation.
            for (int n = int(rng() % 7); n > 0; --n) name += atoms[rng() % atoms.size()];
            if (k % 2) name = lit.substr(0, rng() % (lit.size() + 1)) + name;
            if (RE2::PartialMatch(name, *re->matcher)) {
                ASSERT_TRUE(contains_ci(name, lit)) << "pattern " << pattern << " name " << name << " literal " << lit;
            }
        }
    }
    EXPECT_GT(with_literal, 300u);
}

TEST(Prefilter, GlobLiteralIsInEveryMatch) {
    const uint64_t seed = 6502;
    std::printf("seed %llu\n", (unsigned long long)seed);
    std::mt19937_64 rng(seed);
    const std::vector<std::string> atoms{"a", "K", "k", "\xE2\x84\xAA", "\xC4\xB0", "i", "\xCC\x87", "\xC3\xA9", "\xC3\x89", ".", "*", "?"};
    const Index ix = [&] {
        std::vector<MftRecord> recs;
        for (int i = 0; i < 2000; ++i) {
            std::string name;
            for (int n = 1 + int(rng() % 6); n > 0; --n) {
                std::string a = atoms[rng() % (atoms.size() - 2)];
                name += a;
            }
            recs.push_back(file(100 + i, 5, name));
        }
        return build_index(std::move(recs), 'C');
    }();
    for (int i = 0; i < 150; ++i) {
        std::string pattern;
        for (int n = 2 + int(rng() % 6); n > 0; --n) pattern += atoms[rng() % atoms.size()];
        if (pattern.find_first_of("*?") == std::string::npos) pattern += "*";
        auto q = parse_query(pattern + " -zzzz", false);  // the general plan, with the glob's prefilter
        ASSERT_TRUE(q.ok());
        std::vector<std::string> got;
        auto r = search(ix, pattern + " -zzzz", 100000, false);
        ASSERT_TRUE(r.ok());
        for (const auto& h : *r) got.emplace_back(h.path);
        ASSERT_EQ(got, ref_search(ix, *q, 100000)) << pattern;
    }
}

// Random indexes and random queries: search must equal the reference at several limits.
TEST(Search, RandomQueriesAgainstReference) {
    const uint64_t seed = 424242;
    std::printf("seed %llu\n", (unsigned long long)seed);
    std::mt19937_64 rng(seed);
    const std::vector<std::string> words{"report", "Report", "data", "img", "a", "ab", "\xC3\xA9t\xC3\xA9", "\xC3\x89T\xC3\x89",
                                         "tmp", "x_y", "scan01", "Scan", "\xE2\x84\xAA" "ey"};
    const std::vector<std::string> tokens{
        "report", "REP", "a", "ab", "-a", "!tmp", "*.txt", "*.LOG", "re?ort*", "*a*b*", "ext:txt", "ext:log,txt",
        "size:>100", "size:<2kb", "size:10..3000", "size:=0", "folder:", "file:", "file:data", "-folder:img",
        "case:Report", "case:rep", "path:data", "path:*a\\*", "-path:tmp", "regex:^rep", "regex:^Scan\\d",
        "re:t$", "re:(?-i)^Re", "regex:^a|b", "regex:^abc?", "\"x_y report\"", "\xC3\xA9t\xC3\xA9", "\xC3\x89T", "\xE2\x84\xAA",
        "kEy", "c:\\", "data\\", "\\img\\", "-re:^d"};
    for (int round = 0; round < 4; ++round) {
        const Index ix = build_index(random_records(rng, 1000 + rng() % 3000, words), 'C');
        for (int qn = 0; qn < 150; ++qn) {
            std::string text;
            for (int n = 1 + int(rng() % 3); n > 0; --n) text += (text.empty() ? "" : " ") + tokens[rng() % tokens.size()];
            const bool path_mode = rng() % 3 == 0;
            const uint64_t limit = (qn % 4 == 0) ? 1 + rng() % 5 : 100 + rng() % 3000;
            auto q = parse_query(text, path_mode);
            auto r = search(ix, text, limit, path_mode);
            ASSERT_EQ(r.ok(), q.ok()) << text;
            if (!q.ok()) continue;
            std::vector<std::string> got;
            for (const auto& h : *r) got.emplace_back(h.path);
            ASSERT_EQ(got, ref_search(ix, *q, limit)) << "query '" << text << "' path_mode " << path_mode << " limit " << limit;
        }
    }
}

// Every query of up to three tokens over a small alphabet, against a ten-entry tree.
TEST(Search, ExhaustiveSmallWorld) {
    const Index ix = build_index({dir(20, 5, "a"), dir(21, 5, "Ab"), file(22, 20, "b.txt", 10), file(23, 20, "ab", 0),
                                  file(24, 21, "A.TXT", 2000), file(25, 21, "ba"), dir(26, 21, "b"), file(27, 26, "aa.b", 1),
                                  file(28, 5, "\xC3\xA1" "b"), file(29, 5, "txt")},
                                 'C');
    const std::vector<std::string> alphabet{"a", "B", "ab", "-a", "*a", "a?", "ext:txt", "folder:", "file:b", "size:>1",
                                            "case:A", "path:b", "re:^a", "\"a b\"", "\xC3\x81"};
    std::vector<std::string> queries;
    for (const auto& x : alphabet) {
        queries.push_back(x);
        for (const auto& y : alphabet) {
            queries.push_back(x + " " + y);
            for (const auto& z : alphabet) queries.push_back(x + " " + y + " " + z);
        }
    }
    size_t compared = 0;
    for (const auto& text : queries) {
        for (bool path_mode : {false, true}) {
            auto q = parse_query(text, path_mode);
            ASSERT_TRUE(q.ok()) << text;
            for (uint64_t limit : {uint64_t(100), uint64_t(1)}) {
                auto r = search(ix, text, limit, path_mode);
                ASSERT_TRUE(r.ok());
                std::vector<std::string> got;
                for (const auto& h : *r) got.emplace_back(h.path);
                ASSERT_EQ(got, ref_search(ix, *q, limit)) << "'" << text << "' path_mode " << path_mode;
                ++compared;
            }
        }
    }
    EXPECT_EQ(compared, queries.size() * 4);
}

// Terms are AND-ed: swapping two tokens never changes the result set.
TEST(Search, TokenOrderDoesNotMatter) {
    const Index ix = sample_index();
    const std::vector<std::string> tokens{"setup", "-1", "ext:txt", "*s*", "size:<5000", "folder:", "re:^s", "path:c"};
    for (const auto& a : tokens) {
        for (const auto& b : tokens) {
            auto ab = search(ix, a + " " + b, 1000, false);
            auto ba = search(ix, b + " " + a, 1000, false);
            ASSERT_TRUE(ab.ok() && ba.ok());
            EXPECT_EQ(names_of(ab), names_of(ba)) << a << " / " << b;
        }
    }
}

}  // namespace
}  // namespace nimbalo

namespace nimbalo {
namespace {

// A pattern too large for RE2's DFA cache falls back to its slow matcher: the search stops at
// its time bound with a query error instead of holding its caller, and is whole when in time.
TEST(Search, SlowRegexStopsAtItsTimeBound) {
    std::vector<MftRecord> records;
    for (uint64_t i = 0; i < 40'000; ++i)
        records.push_back(testing::file(100 + i, 5, "photo " + std::to_string(i) + (i % 1000 ? ".jpg" : " Übersicht.txt")));
    const Index ix = build_index(std::move(records), 'C');
    const std::string slow = "re:\\pL{20}", slow_excluded = "photo -re:\\pL{20}";
    for (const std::string& q : {slow, slow_excluded}) {
        const auto r = search_within(ix, q, 1000, false, std::chrono::milliseconds(1));
        ASSERT_FALSE(r.ok()) << q;
        EXPECT_EQ(r.error(), "regex: the search took longer than 1 ms and was stopped; try a simpler pattern");
    }
    // With time enough, the same query gives its full answer.
    const auto whole = search_within(ix, "re:\\pL{9}", 1000, false, std::chrono::minutes(1));
    ASSERT_TRUE(whole.ok()) << whole.error();
    EXPECT_EQ(whole->size(), 40u);
    // Queries without a regex are never timed.
    EXPECT_TRUE(search_within(ix, "photo .jpg", 100, false, std::chrono::milliseconds(0)).ok());
}

}  // namespace
}  // namespace nimbalo
