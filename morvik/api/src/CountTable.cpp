#include <morvik/api/CountTable.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include <morvik/base/OutOfMemory.h>

#if !defined(_WIN32)
#include <dlfcn.h>
#endif

namespace {

// Counts live in the entry's value word itself; no allocation per count.
std::int32_t ValueOf(Tcl_HashEntry* e) {
    return static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(Tcl_GetHashValue(e)));
}
void SetValue(Tcl_HashEntry* e, std::int32_t v) {
    Tcl_SetHashValue(e, reinterpret_cast<ClientData>(static_cast<std::intptr_t>(v)));
}

constexpr const char* kNoMemory = "hash: could not allocate memory";

bool StartsWith(const char* text, const char* prefix) {
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

// Tcl ends in its panic procedure when an allocation fails or a table is corrupted, and the
// procedure must not return into Tcl. Tcl_Alloc and Tcl_Realloc panic ("unable to alloc ...",
// "unable to realloc ...") only after the allocator has come back empty-handed, as does the
// allocator when it cannot make a thread's cache: no lock is held and nothing is half changed,
// so these throw OutOfMemory, which unwinds through Tcl's C frames (they carry unwind tables) to
// the caller; CreateEntry puts the table back. Any other allocation failure (a lock, thread
// data) happens where unwinding would leave Tcl locked or half set up, and a broken table cannot
// be trusted at all: those still end the process.
TCL_NORETURN1 void HashPanic(const char* format, ...) {
    const char* text = format != nullptr ? format : "";
    if (StartsWith(text, "unable to alloc ") || StartsWith(text, "unable to realloc ") ||
        std::strcmp(text, "alloc: could not allocate new cache") == 0)
        throw OutOfMemory(kNoMemory);
    if (std::strstr(text, "alloc") != nullptr && std::strstr(text, "invalid block") == nullptr) {
        std::fprintf(stderr, "%s\n", kNoMemory);
        std::exit(1);
    }
    std::fputs("hash: corrupted hash table\n", stderr);
    std::abort();
}

// Tcl keeps per-thread allocation caches for the life of the process. When this library is
// unloaded (brevon unloads it when the Dutch-only option is switched off) Tcl would be unloaded
// with it and those caches lost, once per load. Tcl is kept loaded instead, so a later load
// reuses them.
void KeepTclLoaded() {
#if !defined(_WIN32)
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&Tcl_SetPanicProc), &info) == 0 || !info.dli_fname) return;
    // A handle that is never closed; NODELETE makes the pin survive other closes too.
    (void)dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
#endif
}

} // namespace

void RestoreAfterFailedInsert(Tcl_HashTable& table, const char* key) noexcept {
    // Tcl links a new entry first and then, when the table has grown too full, enlarges the
    // bucket array; it counts the new buckets before it allocates them, and sets the mask after.
    // A failure there leaves the old array with a count four times too large, where the count
    // is always the mask plus one. The entry, if it was linked, is taken out again.
    table.numBuckets = table.mask + 1;
    if (Tcl_HashEntry* e = Tcl_FindHashEntry(&table, key)) Tcl_DeleteHashEntry(e);
}

void PrepareTcl() {
    static const bool installed = [] {
        Tcl_SetPanicProc(HashPanic);
        KeepTclLoaded();
        // Tcl sets its allocator up (its locks, this thread's cache) at its first allocation,
        // where running out of memory cannot be recovered from: done here, before any table
        // holds anything, rather than in the middle of counting a text.
        Tcl_Free(Tcl_Alloc(1));
        return true;
    }();
    (void)installed;
}

CountTable::CountTable() : table_(), search_() {
    PrepareTcl();
    Tcl_InitHashTable(&table_, TCL_STRING_KEYS);
}

CountTable::~CountTable() {
    Tcl_DeleteHashTable(&table_);
}

Tcl_HashEntry* CountTable::Increment(const char* key) {
    return Add(key, 1);
}

Tcl_HashEntry* CountTable::Add(const char* key, std::int32_t amount) {
    int isNew = 0;
    Tcl_HashEntry* e = CreateEntry(table_, key != nullptr ? key : "", &isNew);
    std::int64_t v = (isNew ? 0 : ValueOf(e)) + static_cast<std::int64_t>(amount);
    // Saturate instead of wrapping: a count never turns negative on a huge text.
    if (v > INT32_MAX) v = INT32_MAX;
    if (v < INT32_MIN) v = INT32_MIN;
    SetValue(e, static_cast<std::int32_t>(v));
    last_ = e;
    lastCount_ = static_cast<std::int32_t>(v);
    return e;
}

bool CountTable::Contains(const char* key) const {
    // Tcl's lookup does not change the table but is not declared const.
    auto* table = const_cast<Tcl_HashTable*>(&table_);
    return Tcl_FindHashEntry(table, key != nullptr ? key : "") != nullptr;
}

std::int32_t CountTable::Get(const char* key) {
    Tcl_HashEntry* e = Tcl_FindHashEntry(&table_, key != nullptr ? key : "");
    last_ = e;
    lastCount_ = e != nullptr ? ValueOf(e) : 0;
    return lastCount_;
}

int CountTable::Copy(Tcl_HashEntry* entry, std::string& term, std::int32_t& count) {
    last_ = entry;
    if (entry == nullptr) return -1;
    term = static_cast<const char*>(Tcl_GetHashKey(&table_, entry));
    lastCount_ = count = ValueOf(entry);
    return 1;
}

int CountTable::First(std::string& term, std::int32_t& count) {
    return Copy(Tcl_FirstHashEntry(&table_, &search_), term, count);
}

int CountTable::Next(std::string& term, std::int32_t& count) {
    return Copy(Tcl_NextHashEntry(&search_), term, count);
}

int CountTable::Clear() {
    Tcl_DeleteHashTable(&table_);
    Tcl_InitHashTable(&table_, TCL_STRING_KEYS);
    last_ = nullptr;
    lastCount_ = 0;
    return 1;
}

int CountTable::Size() const {
    return table_.numEntries;
}

namespace {

// The first block of entries holds at most this many (8 KB): a longer text mostly repeats its
// 4-grams, and the block doubles when it does not.
constexpr std::size_t kFirstBlockMax = 1024;

constexpr unsigned IndexBitsFor(std::size_t entries) {
    unsigned bits = 4;
    while ((std::size_t{1} << bits) < entries * 2)
        ++bits;
    return bits;
}

// What Clear keeps: the index and entries of a full first block, and Order's work space for it
// (its bucket counts are one more than the buckets of that many entries).
constexpr std::size_t kKeptIndex = std::size_t{1} << IndexBitsFor(kFirstBlockMax);
constexpr std::size_t kKeptEntries = kFirstBlockMax + 1;

// Tcl's string hash of the four characters: h = h * 9 + c, from the first on.
std::uint32_t TclHash(std::uint32_t g) {
    return (((g >> 24) * 9 + ((g >> 16) & 0xFF)) * 9 + ((g >> 8) & 0xFF)) * 9 + (g & 0xFF);
}

} // namespace

FourGramTable::FourGramTable(std::size_t expected)
    : firstBlock_(std::clamp(expected, std::size_t{16}, kFirstBlockMax)) {
    const unsigned bits = IndexBitsFor(firstBlock_);
    index_.assign(std::size_t{1} << bits, IndexSlot{0, 0});
    indexShift_ = 32 - bits;
}

void FourGramTable::Clear(std::size_t expected) {
    firstBlock_ = std::clamp(expected, std::size_t{16}, kFirstBlockMax);
    order_.clear();
    entries_.clear();
    auto giveBack = [](auto& v) {
        if (v.capacity() > kKeptEntries) std::decay_t<decltype(v)>().swap(v);
    };
    giveBack(entries_);
    giveBack(order_);
    giveBack(keys_);
    giveBack(first_);
    // An index just large enough, in the memory of the last one when that is not too large:
    // emptying the few kilobytes in one sweep costs less than finding the used slots again.
    const unsigned bits = IndexBitsFor(firstBlock_);
    if (index_.capacity() > kKeptIndex) std::vector<IndexSlot>().swap(index_);
    try {
        index_.assign(std::size_t{1} << bits, IndexSlot{0, 0});
        // A text of at most a first block's length then counts without growing anything.
        entries_.reserve(firstBlock_);
    } catch (const std::bad_alloc&) {
        // The old index's slots name entries that are gone.
        Release();
        throw OutOfMemory(kNoMemory);
    }
    indexShift_ = 32 - bits;
}

bool FourGramTable::Grown() const {
    return index_.capacity() > kKeptIndex || entries_.capacity() > kKeptEntries ||
           order_.capacity() > kKeptEntries || keys_.capacity() > kKeptEntries ||
           first_.capacity() > kKeptEntries;
}

void FourGramTable::Release() noexcept {
    std::vector<Entry>().swap(entries_);
    std::vector<IndexSlot>().swap(index_);
    std::vector<std::uint32_t>().swap(order_);
    std::vector<std::uint32_t>().swap(keys_);
    std::vector<std::uint32_t>().swap(first_);
}

void FourGramTable::Insert(std::uint32_t gram, std::size_t slot) {
    const std::size_t count = entries_.size();
    std::vector<IndexSlot> index;
    try {
        if (count == entries_.capacity()) entries_.reserve(count == 0 ? firstBlock_ : count * 2);
        if ((count + 1) * 2 > index_.size()) index.assign(index_.size() * 2, IndexSlot{0, 0});
    } catch (const std::bad_alloc&) {
        throw OutOfMemory(kNoMemory);
    }
    entries_.push_back(Entry{gram, 1});
    order_.clear();
    index_[slot] = IndexSlot{gram, static_cast<std::uint32_t>(count)};
    if (index.empty()) return;
    index_.swap(index);
    --indexShift_;
    const std::size_t mask = index_.size() - 1;
    for (const IndexSlot& moved : index) {
        if (moved.gram == 0) continue;
        std::size_t s = Slot(moved.gram);
        while (index_[s].gram != 0)
            s = (s + 1) & mask;
        index_[s] = moved;
    }
}

// Tcl's table starts with 4 buckets and, when an insert brings it to three entries a bucket,
// takes four times the buckets: old buckets in order, each chain from its head, every entry to
// the head of its new bucket. A new entry goes to the head of its bucket. Call the entries
// inserted between two rebuilds an epoch, E0 the first, EK the last. A rebuild reverses what
// each new bucket receives, so a bucket's chain after K rebuilds is its part of
//     EK newest first, E(K-2) newest first, ..., then ..., E(K-3) oldest first, E(K-1) oldest
//     first:
// the epochs of K's parity by falling insertion number, then the others by rising number.
const std::vector<std::uint32_t>& FourGramTable::Order() const {
    const std::size_t n = entries_.size();
    if (order_.size() == n) return order_;
    constexpr std::size_t kSmallBuckets = 4, kEntriesPerBucket = 3;
    // The epochs end where the entry count reaches 12, 48, 192, ... (fewer than 16 below 2^32).
    // Only the first epochs of it are set and read: zeroing it all would cost more than a
    // short text's order.
    std::array<std::size_t, 20> ends;
    std::size_t epochs = 0;
    std::size_t buckets = kSmallBuckets;
    for (std::size_t end = kSmallBuckets * kEntriesPerBucket; end <= n; end *= 4) {
        ends[epochs++] = end;
        buckets *= 4;
    }
    ends[epochs++] = n;
    // Each entry's bucket, then per bucket where its entries go.
    std::vector<std::uint32_t>& bucketOf = keys_;
    std::vector<std::uint32_t>& next = first_;
    std::vector<std::uint32_t>& order = order_;
    try {
        bucketOf.resize(n);
        next.assign(buckets + 1, 0);
        order.resize(n);
    } catch (const std::bad_alloc&) {
        throw OutOfMemory(kNoMemory);
    }
    const std::uint32_t mask = static_cast<std::uint32_t>(buckets - 1);
    for (std::size_t i = 0; i < n; ++i) {
        bucketOf[i] = TclHash(entries_[i].gram) & mask;
        ++next[bucketOf[i] + 1];
    }
    for (std::size_t b = 1; b <= buckets; ++b)
        next[b] += next[b - 1];
    // Epoch by epoch, so that which part an entry belongs to needs no test: K's parity first,
    // by falling number (EK, E(K-2), ...), then the others, by rising number.
    auto begin = [&](std::size_t e) { return e == 0 ? std::size_t{0} : ends[e - 1]; };
    for (std::size_t e = epochs; e >= 1; e = e >= 3 ? e - 2 : 0) {
        for (std::size_t i = ends[e - 1]; i-- > begin(e - 1);)
            order[next[bucketOf[i]]++] = static_cast<std::uint32_t>(i);
    }
    for (std::size_t e = epochs % 2; e + 1 < epochs; e += 2) {
        for (std::size_t i = begin(e); i < ends[e]; ++i)
            order[next[bucketOf[i]]++] = static_cast<std::uint32_t>(i);
    }
    return order_;
}

std::int32_t FourGramTable::Get(std::uint32_t gram) const {
    if (gram == 0 || index_.empty()) return 0;
    const std::size_t mask = index_.size() - 1;
    for (std::size_t s = Slot(gram);; s = (s + 1) & mask) {
        if (index_[s].gram == gram) return entries_[index_[s].entry].count;
        if (index_[s].gram == 0) return 0;
    }
}

std::string FourGramTable::Unpack(std::uint32_t gram) {
    return {static_cast<char>(gram >> 24), static_cast<char>(gram >> 16),
            static_cast<char>(gram >> 8), static_cast<char>(gram)};
}
