// CountTable: counts of equal strings, on Tcl's hash table with string keys. FourGramTable:
// counts of 4-grams in a table of its own that keeps the order Tcl's would give them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <tcl.h>

// Sets the library's Tcl panic procedure and keeps Tcl loaded; once per process, before the
// first table. From then on a failed allocation inside a table throws OutOfMemory (a
// std::bad_alloc).
void PrepareTcl();

// Puts table back as it was before a Tcl_CreateHashEntry(key) that threw.
void RestoreAfterFailedInsert(Tcl_HashTable& table, const char* key) noexcept;

// Tcl_CreateHashEntry for the tables here: when it runs out of memory it throws OutOfMemory and
// leaves the table as it was, so that it can still be used and deleted.
inline Tcl_HashEntry* CreateEntry(Tcl_HashTable& table, const char* key, int* isNew) {
    try {
        return Tcl_CreateHashEntry(&table, key, isNew);
    } catch (...) {
        RestoreAfterFailedInsert(table, key);
        throw;
    }
}

class CountTable {
public:
    CountTable();
    ~CountTable();
    CountTable(const CountTable&) = delete;
    CountTable& operator=(const CountTable&) = delete;

    // A new key gets 1, a known key its count plus one.
    Tcl_HashEntry* Increment(const char* key);
    // A new key starts at 0; the count goes up by amount.
    Tcl_HashEntry* Add(const char* key, std::int32_t amount);
    bool Contains(const char* key) const;
    // The key's count, 0 when absent.
    std::int32_t Get(const char* key);
    // Iteration in the table's own order: 1 with the entry copied out, -1 at the end.
    int First(std::string& term, std::int32_t& count);
    int Next(std::string& term, std::int32_t& count);
    // Removes all entries and starts an empty table.
    int Clear();
    int Size() const;

    // Number of lists loaded into the table (stop-word tables only).
    std::int32_t LoadCount = 0;

private:
    int Copy(Tcl_HashEntry* entry, std::string& term, std::int32_t& count);

    // Held by value: an empty Tcl table lives in its static buckets, so a table that is made
    // and dropped unused (the Stopper's six stop-word tables) costs no allocation.
    Tcl_HashTable table_;
    Tcl_HashSearch search_;
    Tcl_HashEntry* last_ = nullptr;
    std::int32_t lastCount_ = 0;
};

// Counts of 4-grams, each packed into one word with its first character in the high byte. Its
// entries come out in the order Tcl's hash table gives the string keys of the same four characters
// fed in the same order (a string-keyed CountTable): scores are float sums in that order and stay
// bit for bit the same. Counting needs neither Tcl nor its chains; the order is worked out once,
// when the entries are first visited.
class FourGramTable {
public:
    // expected: the most 4-grams the text can give (its length will do); it sizes the first
    // block of entries, which grows when needed.
    explicit FourGramTable(std::size_t expected);
    FourGramTable(const FourGramTable&) = delete;
    FourGramTable& operator=(const FourGramTable&) = delete;

    // Empties the table for a new text (expected as for the constructor). Memory the size of a
    // first block is kept, so one short text after another allocates nothing; what a long text
    // made the table grow to is given back. OutOfMemory when the index needs memory there is
    // not; the table is then empty, released, and takes no 4-gram until a Clear succeeds.
    void Clear(std::size_t expected);
    // Whether the table holds more memory than Clear would keep.
    bool Grown() const;
    // Gives all the table's memory back; it takes no 4-gram again until Clear.
    void Release() noexcept;

    // A new 4-gram gets 1, a known one its count plus one (at most INT32_MAX). When memory runs
    // out it throws OutOfMemory (a std::bad_alloc) and the table is as it was.
    void Increment(std::uint32_t gram) {
        const std::size_t mask = index_.size() - 1;
        for (std::size_t s = Slot(gram);; s = (s + 1) & mask) {
            IndexSlot& slot = index_[s];
            if (slot.gram == gram) {
                std::int32_t& count = entries_[slot.entry].count;
                if (count < INT32_MAX) ++count;
                return;
            }
            if (slot.gram == 0) {
                // Room for one more without growing: nothing to allocate, nothing can fail.
                const std::size_t n = entries_.size();
                if (n < entries_.capacity() && (n + 1) * 2 <= index_.size()) {
                    entries_.push_back(Entry{gram, 1});
                    slot = IndexSlot{gram, static_cast<std::uint32_t>(n)};
                    return;
                }
                return Insert(gram, s);
            }
        }
    }
    // The 4-gram's count, 0 when absent.
    std::int32_t Get(std::uint32_t gram) const;
    int Size() const { return static_cast<int>(entries_.size()); }

    // fn(gram, count) for every entry, in Tcl's order (that of Tcl_FirstHashEntry and
    // Tcl_NextHashEntry: bucket by bucket, each chain from its head). The first visit after a
    // new entry works the order out, which needs memory: OutOfMemory when there is none.
    template <typename Fn> void ForEach(Fn&& fn) const {
        for (const std::uint32_t i : Order())
            fn(entries_[i].gram, entries_[i].count);
    }

    // The four characters of term (which has at least four) as one word, and back.
    static std::uint32_t Pack(std::string_view term) {
        return (static_cast<std::uint32_t>(static_cast<unsigned char>(term[0])) << 24) |
               (static_cast<std::uint32_t>(static_cast<unsigned char>(term[1])) << 16) |
               (static_cast<std::uint32_t>(static_cast<unsigned char>(term[2])) << 8) |
               static_cast<std::uint32_t>(static_cast<unsigned char>(term[3]));
    }
    static std::string Unpack(std::uint32_t gram);

private:
    std::size_t Slot(std::uint32_t gram) const {
        return static_cast<std::size_t>((gram * 0x9E3779B1u) >> indexShift_);
    }
    // Adds a new entry (count 1) and puts it in the index at slot; everything it needs is
    // allocated before anything changes.
    void Insert(std::uint32_t gram, std::size_t slot);
    // The entries' numbers in Tcl's order.
    const std::vector<std::uint32_t>& Order() const;

    struct Entry {
        std::uint32_t gram;
        std::int32_t count;
    };
    // Open addressing, at most half full; gram 0 marks an empty slot (no 4-gram is 0).
    struct IndexSlot {
        std::uint32_t gram;
        std::uint32_t entry;
    };
    std::vector<Entry> entries_; // in the order of their first occurrence
    std::vector<IndexSlot> index_;
    unsigned indexShift_ = 32;
    std::size_t firstBlock_ = 0;
    mutable std::vector<std::uint32_t> order_;
    // Order's work space, kept with the table.
    mutable std::vector<std::uint32_t> keys_, first_;
};
