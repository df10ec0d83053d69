#include "mft/mft_reader.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include "mft/chunk_queue.h"
#include "mft/file_record.h"
#include "mft/mft_extents.h"
#include "mft/piece_plan.h"
#include "common/build_progress.h"
#include "mft/usa_fixup.h"
#include "mft/volume.h"
#include "platform/large_buffer.h"

namespace nimbalo {
namespace {

constexpr size_t kQueueDepth = 3;
constexpr uint64_t kMaxReserve = uint64_t(1) << 26;

// A piece buffer with room for a partial record carried over from the run before.
struct PieceBuffer {
    platform::LargeBuffer memory;
    std::byte* get() const { return memory.data(); }
};

// Buffers go back and forth between the two threads instead of being allocated per piece: the
// pages stay mapped, so large reads do not pay for page faults again and again.
class BufferPool {
public:
    explicit BufferPool(size_t capacity) : capacity_(capacity) {}
    PieceBuffer take() {
        {
            std::lock_guard lock(mutex_);
            if (!free_.empty()) {
                PieceBuffer b = std::move(free_.back());
                free_.pop_back();
                return b;
            }
        }
        // Not zero-filled here: the reader zeroes whatever a short read leaves unfilled.
        return PieceBuffer{platform::LargeBuffer(capacity_)};
    }
    void give(PieceBuffer b) {
        std::lock_guard lock(mutex_);
        free_.push_back(std::move(b));
    }

private:
    std::mutex mutex_;
    std::vector<PieceBuffer> free_;
    size_t capacity_;
};

// One piece handed to the parser: record slots start at data + begin; first_record numbers the
// first slot. Bytes [begin, begin + valid) are what the volume gave.
struct MftChunk {
    uint64_t first_record = 0;
    PieceBuffer buffer;
    size_t begin = 0;
    size_t valid = 0;
};

void reader_thread(VolumeReader& v, const std::vector<PieceRead>& plan, uint32_t rs, BufferPool& pool,
                   ChunkQueue<MftChunk>& queue, BuildProgress& progress) {
    std::vector<std::byte> carry;  // the head of a record cut by a run's end (mend: keep records whole)
    uint64_t carry_pos = 0;
    for (const auto& p : plan) {
        if (p.offset < 0 || (!carry.empty() && carry_pos + carry.size() != p.position)) carry.clear();
        if (p.offset < 0) {
            progress.done.store((p.position + p.length) / rs, std::memory_order_relaxed);
            continue;
        }
        PieceBuffer buf = pool.take();
        const size_t head = carry.size();
        if (head) std::memcpy(buf.get(), carry.data(), head);
        size_t got = 0;
        if (auto r = read_some(v, uint64_t(p.offset), std::span(buf.get() + head, size_t(p.length)))) got = *r;
        std::memset(buf.get() + head + got, 0, size_t(p.length) - got);

        const uint64_t start = p.position - head;          // stream position of buf[0]
        const size_t total = head + size_t(p.length);
        const size_t skip = size_t((rs - start % rs) % rs);  // after a sparse stretch: next whole record
        const size_t whole = skip < total ? (total - skip) / rs * rs : 0;
        const size_t end = skip + whole;
        carry.clear();
        if (got == p.length && end < total) {
            carry.assign(buf.get() + end, buf.get() + total);
            carry_pos = start + end;
        }
        progress.done.store((p.position + p.length) / rs, std::memory_order_relaxed);
        if (whole == 0) {
            pool.give(std::move(buf));
            continue;
        }
        MftChunk c;
        c.first_record = (start + skip) / rs;
        c.begin = skip;
        c.valid = head + got > skip ? std::min(head + got, end) - skip : 0;
        c.buffer = std::move(buf);
        queue.push(std::move(c));
    }
    // A valid length that ends inside a record leaves its head: parse what there is of it.
    if (!carry.empty() && carry_pos % rs == 0) {
        PieceBuffer buf = pool.take();
        std::memcpy(buf.get(), carry.data(), carry.size());
        MftChunk c;
        c.first_record = carry_pos / rs;
        c.valid = carry.size();
        c.buffer = std::move(buf);
        queue.push(std::move(c));
    }
    queue.close();
}

// Grows the result list by doubling, each new block backed by huge pages where possible: a
// million-name list is ~60 MiB that would otherwise be faulted in 4 KiB at a time.
void reserve_records(std::vector<MftRecord>& out, size_t need) {
    if (need <= out.capacity()) return;
    platform::reserve_huge(out, std::max(need, out.capacity() * 2));
}

void parse_chunk(MftChunk& c, uint32_t rs, std::vector<MftRecord>& out) {
    const size_t slots = (c.valid + rs - 1) / rs;
    constexpr size_t kBlock = 512;
    const size_t blocks = (slots + kBlock - 1) / kBlock;
    std::vector<std::vector<MftRecord>> parts(blocks);
    std::byte* base = c.buffer.get() + c.begin;
#pragma omp parallel for schedule(dynamic, 2)
    for (long long b = 0; b < (long long)blocks; ++b) {
        auto& part = parts[size_t(b)];
        part.reserve(kBlock);
        const size_t first = size_t(b) * kBlock, last = std::min(slots, first + kBlock);
        for (size_t i = first; i < last; ++i) {
            const size_t len = std::min<size_t>(rs, c.valid - i * rs);
            parse_file_record(std::span(base + i * rs, len), c.first_record + i, part);
        }
    }
    size_t add = 0;
    for (const auto& part : parts) add += part.size();
    reserve_records(out, out.size() + add);
    for (auto& part : parts) std::move(part.begin(), part.end(), std::back_inserter(out));
}

Result<std::vector<MftRecord>> read_mft_impl(VolumeReader& v, uint64_t piece_bytes, BuildProgress& progress) {
    const uint32_t rs = v.bytes_per_record, bpc = v.bytes_per_cluster;
    if (rs == 0 || bpc == 0) return fail("not a valid FILE record");
    auto rec0 = read_at(v, v.mft_start_lcn * bpc, rs);
    if (!rec0) return std::move(rec0).take_error();
    if (rs < 48 || std::memcmp(rec0->data(), "FILE", 4) != 0) return fail("not a valid FILE record");
    if (auto s = apply_fixup(*rec0); !s) return std::move(s).take_error();
    auto runs0 = find_mft_data_runs(*rec0);
    if (!runs0) return std::move(runs0).take_error();
    const auto runs = collect_mft_runs(v, *rec0, std::move(*runs0));

    const uint64_t total = std::max<uint64_t>(v.mft_valid_data_length / rs, 1);
    progress.total.store(total, std::memory_order_relaxed);
    progress.done.store(0, std::memory_order_relaxed);
    progress.state.store(BuildProgress::kReadingMft, std::memory_order_relaxed);

    const auto plan = plan_pieces(runs, bpc, v.mft_valid_data_length, piece_bytes);
    std::vector<MftRecord> out;
    reserve_records(out, size_t(std::min(total / 2, kMaxReserve)));

    BufferPool pool(size_t(piece_bytes) + rs);
    ChunkQueue<MftChunk> queue(kQueueDepth);
    std::thread reader([&] { reader_thread(v, plan, rs, pool, queue, progress); });
    while (auto chunk = queue.pop()) {
        parse_chunk(*chunk, rs, out);
        pool.give(std::move(chunk->buffer));
    }
    reader.join();
    return out;
}

}  // namespace

Result<std::vector<MftRecord>> read_mft(VolumeReader& v, BuildProgress* progress) {
    BuildProgress unreported;
    return read_mft_impl(v, kMftPieceBytes, progress ? *progress : unreported);
}

Result<std::vector<MftRecord>> read_mft_with_piece_size_for_tests(VolumeReader& v, uint64_t piece_bytes,
                                                                BuildProgress* progress) {
    BuildProgress unreported;
    return read_mft_impl(v, std::max<uint64_t>(piece_bytes, v.bytes_per_record), progress ? *progress : unreported);
}

}  // namespace nimbalo
