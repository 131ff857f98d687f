#include "transposition.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <memory>
#include <ostream>

namespace kestrune {
namespace {

constexpr std::uint64_t MISS = 0x0300000000000000ULL;

// 16 MiB each: one table serves a whole suite, cleared before every test.
class TranspositionTableTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { table_ = std::make_unique<TranspositionTable>(); }
    static void TearDownTestSuite() { table_.reset(); }
    void SetUp() override { table_->clear(); }

    static TranspositionTable& table() { return *table_; }

private:
    static inline std::unique_ptr<TranspositionTable> table_;
};

struct StoredEntry {
    std::uint64_t key;
    Bound kind;
    std::uint8_t depth;
    std::uint16_t move;
    std::int16_t score;
};

void PrintTo(const StoredEntry& e, std::ostream* os) {
    *os << "kind " << static_cast<int>(e.kind) << " depth " << static_cast<int>(e.depth) << " move " << e.move
        << " score " << e.score;
}

class TableRoundTrip : public TranspositionTableTest, public ::testing::WithParamInterface<StoredEntry> {};

TEST_P(TableRoundTrip, ReadsBackEveryField) {
    const StoredEntry e = GetParam();
    table().store(e.key, e.kind, e.depth, Move(e.move), e.score);
    const TtData data = table().probe(e.key);
    EXPECT_EQ(data.kind(), e.kind);
    EXPECT_EQ(data.depth(), e.depth);
    EXPECT_EQ(data.move(), Move(e.move));
    EXPECT_EQ(data.score(), e.score);
    EXPECT_EQ(data.bits & 0x0000FFFF00000000ULL, 0U) << "bits 32-47 must stay zero";
}

INSTANTIATE_TEST_SUITE_P(Entries, TableRoundTrip,
                         ::testing::Values(StoredEntry{0x9D39247E33776D41ULL, Bound::Exact, 5, 0x031C, 42},
                                           StoredEntry{0x2AF7398005AAA5C7ULL, Bound::Lower, 12, 0x4F2D, -1},
                                           StoredEntry{0x44DB015024623547ULL, Bound::Upper, 255, 0xFFFF, -29999},
                                           StoredEntry{0xFFFFFFFFFFFFFFFFULL, Bound::Exact, 0, 0x0000, 29998},
                                           StoredEntry{0x0000000000100000ULL, Bound::Upper, 1, 0x8000, -32768}),
                         testing::printed_name);

TEST_F(TranspositionTableTest, PacksTheDataWord) {
    const std::uint64_t key = 0x0123456789ABCDEFULL;
    table().store(key, Bound::Lower, 7, Move(0xABCD), -2);
    EXPECT_EQ(table().probe(key).bits, 0x01070000ABCDFFFEULL);
}

TEST_F(TranspositionTableTest, RejectsAnotherKeyOnTheSameSlot) {
    const std::uint64_t key = 0x0123456789ABCDEFULL;
    const std::uint64_t same_slot = key ^ 0xF00000ULL;  // differs above the 20 index bits
    table().store(key, Bound::Exact, 3, Move(0x0123), 10);
    EXPECT_EQ(table().probe(same_slot).bits, MISS);
    EXPECT_EQ(table().probe(key ^ 1).bits, MISS);  // another slot, still empty
}

TEST_F(TranspositionTableTest, AlwaysReplaces) {
    const std::uint64_t first = 0x1111111111122222ULL;
    const std::uint64_t second = 0x3333333333322222ULL;  // same low 20 bits
    table().store(first, Bound::Exact, 20, Move(0x0101), 50);
    table().store(second, Bound::Upper, 1, Move(0x0202), -50);
    EXPECT_EQ(table().probe(first).bits, MISS);
    EXPECT_EQ(table().probe(second).move(), Move(0x0202));

    // A shallower entry for the same key overwrites a deeper one too.
    table().store(second, Bound::Lower, 0, Move(0x0303), 7);
    EXPECT_EQ(table().probe(second).depth(), 0);
    EXPECT_EQ(table().probe(second).kind(), Bound::Lower);
}

TEST_F(TranspositionTableTest, ClearForgetsEveryEntry) {
    const std::uint64_t keys[] = {0x9D39247E33776D41ULL, 0x2AF7398005AAA5C7ULL, 0x00000000000FFFFFULL};
    for (const std::uint64_t key : keys) {
        table().store(key, Bound::Exact, 4, Move(0x0555), 99);
    }
    table().clear();
    for (const std::uint64_t key : keys) {
        EXPECT_EQ(table().probe(key).bits, MISS) << std::hex << key;
    }
}

TEST_F(TranspositionTableTest, ZeroSlotMatchesKeyZeroOnly) {
    const TtData zero = table().probe(0);
    EXPECT_EQ(zero.kind(), Bound::Exact);
    EXPECT_EQ(zero.depth(), 0);
    EXPECT_EQ(zero.move(), Move(0));
    EXPECT_EQ(zero.score(), 0);
    EXPECT_EQ(table().probe(0x100000).bits, MISS);  // slot 0 again, another key
    EXPECT_EQ(table().probe(1).bits, MISS);
}

// Sizes other than 16 MiB: any whole number of MiB, each slot reachable and
// keys spread over all of them; a size that cannot be had keeps the table.
TEST(TranspositionTableSize, AnyMebibyteCountIndexesEverySlot) {
    TranspositionTable table(1);
    EXPECT_EQ(table.entry_count(), 65536U);
    EXPECT_EQ(table.index(0x123456789ABCDEFULL), 0xCDEFU);
    for (const std::size_t mib : {std::size_t{3}, std::size_t{16}, std::size_t{20}}) {
        ASSERT_TRUE(table.resize(mib));
        EXPECT_EQ(table.size_mib(), mib);
        const std::size_t count = table.entry_count();
        EXPECT_EQ(count, mib * 65536);
        EXPECT_EQ(table.index(~0ULL), count - 1);
        EXPECT_EQ(table.index(0), 0U);
        // Consecutive low bits walk the whole table in order.
        std::size_t previous = 0;
        const std::uint64_t low_bits = std::bit_ceil(count);
        for (std::uint64_t key = 0; key < low_bits; key += low_bits / 64) {
            const std::size_t slot = table.index(key);
            EXPECT_LT(slot, count);
            EXPECT_GE(slot, previous);
            previous = slot;
        }
        table.store(0xDEADBEEF12345678ULL, Bound::Exact, 3, Move(0x0123), 5);
        EXPECT_EQ(table.probe(0xDEADBEEF12345678ULL).move(), Move(0x0123));
    }
    // 16 MiB takes the low 20 bits, as the fixed table always did.
    ASSERT_TRUE(table.resize(16));
    EXPECT_EQ(table.index(0xFEDCBA9876543210ULL), 0x43210U);
    table.store(1, Bound::Lower, 2, Move(0x0456), 6);
    EXPECT_FALSE(table.resize(0));
    EXPECT_FALSE(table.resize(TranspositionTable::MAX_MIB + 1));
    EXPECT_EQ(table.size_mib(), 16U);
    EXPECT_EQ(table.probe(1).move(), Move(0x0456)) << "a refused size keeps the entries";
}

}  // namespace
}  // namespace kestrune
