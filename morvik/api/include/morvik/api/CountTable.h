// CountTable: counts of equal strings, on Tcl's hash table with string keys.
#pragma once

#include <cstdint>
#include <string>

#include <tcl.h>

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
