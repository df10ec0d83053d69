// What the program needs from its third-party libraries, checked in every build flavour (the
// cross build compiles its own RE2 and links libgomp statically, so these run under Wine too):
// RE2's options and error texts, JSON's ordering and escaping, and a working OpenMP runtime.
#include <gtest/gtest.h>
#include <omp.h>
#include <re2/re2.h>

#include <nlohmann/json.hpp>
#include <thread>

TEST(Re2, OptionsTheQueryLanguageRelies) {
    struct Case {
        std::string pattern;
        bool case_sensitive;
        std::string text;
        bool match;
    } cases[] = {
        {"rep.rt", false, "Q3 REPORT.docx", true},        // unanchored, case-folded
        {"rep.rt", true, "Q3 REPORT.docx", false},
        {"(?-i)Rep", false, "report", false},             // inline flag beats the option
        {"^c:\\\\windows\\\\", false, "C:\\Windows\\System32", true},
        {"\\.(jpe?g|png)$", false, "IMG_0001.JPEG", true},
        {"caf\xc3\xa9", false, "CAF\xc3\x89 menu", true},  // UTF-8 case folding
        {"^.{3}$", true, "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e", true},  // dot is one code point
    };
    for (const auto& c : cases) {
        RE2::Options o;
        o.set_case_sensitive(c.case_sensitive);
        o.set_log_errors(false);
        RE2 re(c.pattern, o);
        ASSERT_TRUE(re.ok()) << c.pattern << ": " << re.error();
        EXPECT_EQ(RE2::PartialMatch(c.text, re), c.match) << c.pattern << " on " << c.text;
    }
}

TEST(Re2, ErrorsAreTextNotCrashes) {
    // log_errors stays at its default: the Windows build's copy must drop RE2's log line.
    RE2 bad("(unclosed");
    EXPECT_FALSE(bad.ok());
    EXPECT_NE(bad.error().find("missing )"), std::string::npos) << bad.error();

    RE2::Options small;
    small.set_max_mem(1 << 16);
    small.set_log_errors(false);
    RE2 big("((((a{100}){100}){100}){100})", small);
    EXPECT_FALSE(big.ok());

    RE2 repeat("a{1001}", small);  // beyond RE2's repetition limit
    EXPECT_FALSE(repeat.ok());
}

TEST(Re2, OneCompiledPatternSharedByThreads) {
    RE2 re("(?i)needle\\d+");
    ASSERT_TRUE(re.ok());
    std::vector<int> hits(4, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i)
                hits[size_t(t)] += RE2::PartialMatch("hay NEEDLE" + std::to_string(i) + " stack", re) ? 1 : 0;
        });
    for (auto& th : threads) th.join();
    for (int h : hits) EXPECT_EQ(h, 2000);
}

TEST(Json, SortedCompactPrettyAndPointers) {
    const auto doc = nlohmann::json::parse(R"({"params":{"name":"search","arguments":{"query":"x"}},"id":7,"jsonrpc":"2.0"})");
    EXPECT_EQ(doc.at(nlohmann::json::json_pointer("/params/name")), "search");
    EXPECT_EQ(doc.dump(), R"({"id":7,"jsonrpc":"2.0","params":{"arguments":{"query":"x"},"name":"search"}})");
    nlohmann::json s = {{"mcp_enabled", true}};
    EXPECT_EQ(s.dump(2), "{\n  \"mcp_enabled\": true\n}");
    EXPECT_EQ(nlohmann::json("tab\t\"q\" \x01 \xc3\xa9").dump(), R"("tab\t\"q\" \u0001 é")");
    EXPECT_THROW((void)nlohmann::json("bad \xff").dump(), nlohmann::json::type_error);
    EXPECT_EQ(nlohmann::json("bad \xff").dump(-1, ' ', false, nlohmann::json::error_handler_t::replace),
              "\"bad \xef\xbf\xbd\"");
    EXPECT_TRUE(nlohmann::json::parse("{", nullptr, false).is_discarded());
}

TEST(OpenMp, ParallelLoopUsesTheRuntime) {
    const int n = 100000;
    std::vector<int> out(n);
    long long sum = 0;
#pragma omp parallel for reduction(+ : sum)
    for (int i = 0; i < n; ++i) {
        out[size_t(i)] = i * 2;
        sum += i;
    }
    EXPECT_EQ(sum, 1LL * n * (n - 1) / 2);
    EXPECT_EQ(out[n - 1], 2 * (n - 1));
    EXPECT_GE(omp_get_max_threads(), 1);
}
