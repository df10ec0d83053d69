// The worker's batch merging, its reading of the service's answers and its status poll memory,
// against scripted answers; and the whole loop against a scripted service.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <thread>

#include "gui/worker/job_batch.h"
#include "gui/worker/replies.h"
#include "gui/worker/worker.h"

using namespace nimbalo;
using namespace nimbalo::gui;

TEST(JobBatch, MergesByKind) {
    JobBatch b;
    for (uint64_t id = 1; id <= 5; ++id) b.add(job::Search{id, "q" + std::to_string(id)});
    b.add(job::Reindex{});
    b.add(job::Reindex{});
    b.add(job::RefreshStatus{});
    b.add(job::DownloadUpdate{"https://a/1", "x"});
    b.add(job::DownloadUpdate{"https://a/2", "y"});
    ASSERT_TRUE(b.search);
    EXPECT_EQ(b.search->id, 5u);
    EXPECT_EQ(b.search->query, "q5");
    EXPECT_TRUE(b.reindex);
    EXPECT_FALSE(b.self_test);
    EXPECT_FALSE(b.check_update);
    ASSERT_TRUE(b.download);
    EXPECT_EQ(b.download->url, "https://a/2");
    EXPECT_FALSE(b.apply);
}

TEST(WorkerReplies, SearchAnswers) {
    struct Case {
        const char* what;
        std::optional<std::string> body;
        std::optional<std::vector<std::string>> hits;
        std::optional<std::string> error;
    } cases[] = {
        {"no service", std::nullopt, std::nullopt, std::nullopt},
        {"not JSON", "<html>", std::nullopt, std::nullopt},
        {"empty query", R"({"by_path":false,"count":0,"error":"empty query","query":"","results":[]})",
         std::vector<std::string>{}, "empty query"},
        {"non-strings skipped", R"({"error":null,"results":[1,"C:\\a","C:\\b",null]})",
         std::vector<std::string>{"C:\\a", "C:\\b"}, std::nullopt},
        {"results not an array", R"({"results":"C:\\a"})", std::nullopt, std::nullopt},
        {"an array body", R"(["C:\\a"])", std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        const auto r = search_results(7, c.body);
        EXPECT_EQ(r.id, 7u) << c.what;
        EXPECT_EQ(r.hits, c.hits) << c.what;
        EXPECT_EQ(r.error, c.error) << c.what;
    }
    EXPECT_EQ(search_path("a b/ü"), "/search?q=a%20b%2F%C3%BC");
}

TEST(WorkerReplies, ProgressAndEntries) {
    EXPECT_TRUE(parse_progress(R"({"done":5,"state":1,"total":9})"));
    for (const char* bad : {R"({"done":5,"state":-1,"total":9})", R"({"done":5.5,"state":1,"total":9})",
                            R"({"state":1,"total":9})", R"([1,2,3])", "", R"({"done":"5","state":1,"total":9})"})
        EXPECT_FALSE(parse_progress(bad)) << bad;
    EXPECT_EQ(parse_entries(R"({"entries":42})"), 42u);
    for (const char* bad : {R"({"entries":-1})", R"({"entries":1.5})", R"({})", "x"}) EXPECT_FALSE(parse_entries(bad)) << bad;
}

namespace {

// A service that answers from a table and records what it was asked.
struct ScriptedService {
    std::map<std::string, std::string> answers;
    std::vector<std::string> asked;
    ServiceGet get() {
        return [this](std::string_view path, uint32_t) -> std::optional<std::string> {
            asked.emplace_back(path);
            const auto it = answers.find(std::string(path));
            if (it == answers.end()) return std::nullopt;
            return it->second;
        };
    }
};

}  // namespace

TEST(StatusPoller, EntryCountEveryEighthPollUntilBuilt) {
    ScriptedService svc;
    svc.answers["/progress"] = R"({"done":10,"state":1,"total":100})";
    svc.answers["/status"] = R"({"entries":1234})";
    StatusPoller poller;
    for (int i = 1; i <= 16; ++i) {
        svc.asked.clear();
        const auto s = poller.poll(svc.get());
        EXPECT_EQ(s.state, 1);
        const bool eighth = i % 8 == 0;
        EXPECT_EQ(svc.asked.size(), eighth ? 2u : 1u) << "poll " << i;
        EXPECT_EQ(s.entries.has_value(), eighth) << "poll " << i;
    }
    // Built: every poll asks; a bad entries member keeps the last count, which is still reported.
    svc.answers["/progress"] = R"({"done":100,"state":3,"total":100})";
    svc.answers["/status"] = R"({"entries":-5})";
    const auto built = poller.poll(svc.get());
    EXPECT_EQ(built.state, 3);
    EXPECT_EQ(built.entries, 1234u);
    // Unreachable: 255, zero counters, no entry count, and /status is not asked.
    svc.answers.clear();
    svc.asked.clear();
    const auto gone = poller.poll(svc.get());
    EXPECT_EQ(gone.state, event::ServiceStatus::kUnreachable);
    EXPECT_EQ(gone.done + gone.total, 0u);
    EXPECT_FALSE(gone.entries);
    EXPECT_EQ(svc.asked, std::vector<std::string>{"/progress"});
}

TEST(Worker, BatchOrderAndOneSearchForManyQueued) {
    auto jobs = std::make_shared<Channel<WorkerJob>>();
    Channel<WorkerEvent> events;
    ScriptedService svc;
    svc.answers["/search?q=q5"] = R"({"error":null,"results":["C:\\q5"]})";
    svc.answers["/progress"] = R"({"done":1,"state":3,"total":1})";
    WorkerDeps deps;
    deps.get = svc.get();
    deps.log_line = [](std::string_view) {};
    for (uint64_t id = 1; id <= 5; ++id) jobs->send(job::Search{id, "q" + std::to_string(id)});
    jobs->send(job::Reindex{});
    jobs->close();
    run_worker(*jobs, events, deps);  // returns once the closed channel is drained

    EXPECT_EQ(svc.asked, (std::vector<std::string>{"/reindex", "/search?q=q5", "/progress", "/status"}));
    auto first = events.try_receive();
    ASSERT_TRUE(first);
    const auto* results = std::get_if<event::SearchResults>(&*first);
    ASSERT_TRUE(results);
    EXPECT_EQ(results->id, 5u);
    EXPECT_EQ(results->hits, std::vector<std::string>{"C:\\q5"});
    auto second = events.try_receive();
    ASSERT_TRUE(second && std::holds_alternative<event::ServiceStatus>(*second));
    EXPECT_FALSE(events.try_receive());
}

TEST(Worker, EndsWhenTheWindowThreadIsGone) {
    Channel<WorkerJob> jobs;
    Channel<WorkerEvent> events;
    events.close();  // the receiver is gone
    WorkerDeps deps;
    int asked = 0;
    deps.get = [&](std::string_view, uint32_t) -> std::optional<std::string> {
        ++asked;
        return std::nullopt;
    };
    jobs.send(job::RefreshStatus{});
    std::thread t([&] { run_worker(jobs, events, deps); });
    t.join();  // ends at the failed send, with the job channel still open
    EXPECT_EQ(asked, 1);
}

TEST(Worker, UpdateJobsReportEachStep) {
    Channel<WorkerJob> jobs;
    Channel<WorkerEvent> events;
    WorkerDeps deps;
    deps.get = [](std::string_view, uint32_t) -> std::optional<std::string> { return std::nullopt; };
    std::vector<std::string> log;
    deps.log_line = [&](std::string_view l) { log.emplace_back(l); };
    deps.fetch_manifest = [] { return Result<update::UpdateManifest>(update::UpdateManifest{"0.6.0", "https://u/n.exe", "ab", "", 9}); };
    deps.download = [](const job::DownloadUpdate& j, const update::ProgressFn& progress) -> Result<std::string> {
        progress(1, 0.5f, "downloading");
        progress(2, 1.0f, "verifying the checksum");
        return j.url + ".saved";
    };
    deps.apply = [](const job::ApplyUpdate&) -> Status { return fail("the file is in use"); };
    jobs.send(job::CheckUpdate{});
    jobs.send(job::DownloadUpdate{"https://u/n.exe", "ab"});
    jobs.send(job::ApplyUpdate{"b", "t"});
    jobs.close();
    run_worker(jobs, events, deps);

    std::vector<size_t> kinds;
    while (auto e = events.try_receive()) kinds.push_back(e->index());
    const size_t available = 3, progress = 4, ready = 5, failed = 7, status = 1;
    EXPECT_EQ(kinds, (std::vector<size_t>{available, progress, progress, ready, progress, failed, status}));
    EXPECT_EQ(log, std::vector<std::string>{"update: 0.5.5 -> 0.6.0 available"});
}
