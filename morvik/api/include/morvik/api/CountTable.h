// CountTable: counts of equal strings, on Tcl's hash table with string keys. FourGramTable:
// counts of 4-grams on Tcl's hash table with a key type of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

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

// Counts of 4-grams, each packed into one word with its first character in the high byte. The
// hash is Tcl's own string hash of the same four characters (multiply by 9, add the next), so
// the table grows and orders its entries exactly as a string-keyed CountTable fed the same
// 4-grams in the same order: scores are float sums in that order and stay bit for bit the same.
// Entries come from an arena of the table's own; deleting the Tcl table frees only its buckets.
class FourGramTable {
public:
    // expected: the most 4-grams the text can give (its length will do); it sizes the arena's
    // first block, which later blocks extend when needed.
    explicit FourGramTable(std::size_t expected);
    ~FourGramTable();
    FourGramTable(const FourGramTable&) = delete;
    FourGramTable& operator=(const FourGramTable&) = delete;

    // A new 4-gram gets 1, a known one its count plus one (at most INT32_MAX).
    void Increment(std::uint32_t gram) {
        int isNew = 0;
        Tcl_HashEntry* e = CreateEntry(holder_.table, KeyOf(gram), &isNew);
        const auto count = reinterpret_cast<std::intptr_t>(Tcl_GetHashValue(e));
        if (count < INT32_MAX) Tcl_SetHashValue(e, reinterpret_cast<ClientData>(count + 1));
    }
    // The 4-gram's count, 0 when absent.
    std::int32_t Get(std::uint32_t gram) const;
    int Size() const { return holder_.table.numEntries; }

    // fn(gram, count) for every entry, in Tcl's order (that of Tcl_FirstHashEntry and
    // Tcl_NextHashEntry: bucket by bucket, each chain from its head), without a call per entry.
    template <typename Fn> void ForEach(Fn&& fn) const {
        const Tcl_HashTable& t = holder_.table;
        for (int b = 0; b < t.numBuckets; ++b) {
            for (const Tcl_HashEntry* e = t.buckets[b]; e != nullptr; e = e->nextPtr)
                fn(GramOf(e),
                   static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(e->clientData)));
        }
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
    // The key travels as the pointer value itself, so Tcl's own test of equal key pointers is
    // already the key comparison.
    static const char* KeyOf(std::uint32_t gram) {
        return reinterpret_cast<const char*>(static_cast<std::uintptr_t>(gram));
    }
    static std::uint32_t GramOf(const Tcl_HashEntry* e) {
        return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(e->key.oneWordValue));
    }
    static unsigned Hash(Tcl_HashTable* table, void* key);
    static int Compare(void* key, Tcl_HashEntry* entry);
    static Tcl_HashEntry* Allocate(Tcl_HashTable* table, void* key);
    static void Release(Tcl_HashEntry* entry);
    Tcl_HashEntry* NewEntry();

    static const Tcl_HashKeyType kKeyType;

    // Tcl hands the allocator only the table: the table sits first in a standard-layout holder
    // that leads back to its owner.
    struct Holder {
        Tcl_HashTable table;
        FourGramTable* owner;
    };
    // An arena block: this header, then the entries.
    struct Block {
        Block* previous;
    };
    Holder holder_;
    Block* blocks_ = nullptr;
    Tcl_HashEntry* next_ = nullptr;
    Tcl_HashEntry* end_ = nullptr;
    std::size_t blockSize_ = 0;
};
