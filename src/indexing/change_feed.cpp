#include "indexing/change_feed.h"

namespace nimbalo {

namespace {

class JournalFeed final : public ChangeFeed {
public:
    JournalFeed(Journal journal, RecordReader records) : journal_(std::move(journal)), records_(std::move(records)) {}
    Result<JournalExtent> query() override { return query_journal(journal_); }
    Result<UsnBatch> read(int64_t start) override { return read_journal(journal_, start); }
    std::vector<ReadRecord> records(std::span<const uint64_t> numbers) override {
        return records_.read(journal_.volume, numbers);
    }

private:
    Journal journal_;
    RecordReader records_;
};

}  // namespace

Result<std::unique_ptr<ChangeFeed>> open_change_feed(char letter) {
    auto journal = open_journal(letter);
    if (!journal) return std::move(journal).take_error();
    auto records = RecordReader::open(journal->volume);
    if (!records) return fail("cannot read the MFT of " + std::string(1, letter) + ": " + records.error());
    return std::unique_ptr<ChangeFeed>(new JournalFeed(std::move(*journal), std::move(*records)));
}

}  // namespace nimbalo
