#include <morvik/api/CountTable.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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

// The arena's first block holds at most this many entries (40 KB): a longer text mostly repeats
// its 4-grams, and further blocks follow when it does not.
constexpr std::size_t kFirstBlockMax = 1024;
constexpr std::size_t kBlockMax = std::size_t{1} << 16;

} // namespace

const Tcl_HashKeyType FourGramTable::kKeyType = {
    TCL_HASH_KEY_TYPE_VERSION,
    0, // no randomising: the bucket is hash & mask, as for string keys
    FourGramTable::Hash,
    FourGramTable::Compare,
    FourGramTable::Allocate,
    FourGramTable::Release,
};

FourGramTable::FourGramTable(std::size_t expected) {
    PrepareTcl();
    blockSize_ = std::clamp(expected, std::size_t{1}, kFirstBlockMax);
    holder_.owner = this;
    Tcl_InitCustomHashTable(&holder_.table, TCL_CUSTOM_TYPE_KEYS, &kKeyType);
}

FourGramTable::~FourGramTable() {
    // The entries belong to the arena: with the buckets emptied Tcl frees only the bucket array
    // instead of visiting every entry.
    Tcl_HashTable& t = holder_.table;
    std::fill(t.buckets, t.buckets + t.numBuckets, nullptr);
    t.numEntries = 0;
    Tcl_DeleteHashTable(&t);
    while (blocks_ != nullptr) {
        Block* previous = blocks_->previous;
        std::free(blocks_);
        blocks_ = previous;
    }
}

std::int32_t FourGramTable::Get(std::uint32_t gram) const {
    // Tcl's lookup does not change the table but is not declared const.
    auto* table = const_cast<Tcl_HashTable*>(&holder_.table);
    Tcl_HashEntry* e = Tcl_FindHashEntry(table, KeyOf(gram));
    return e != nullptr ? static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(e->clientData))
                        : 0;
}

std::string FourGramTable::Unpack(std::uint32_t gram) {
    return {static_cast<char>(gram >> 24), static_cast<char>(gram >> 16),
            static_cast<char>(gram >> 8), static_cast<char>(gram)};
}

unsigned FourGramTable::Hash(Tcl_HashTable*, void* key) {
    // Tcl's string hash of the four characters: h = h * 9 + c, from the first on.
    const auto g = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(key));
    return (((g >> 24) * 9 + ((g >> 16) & 0xFF)) * 9 + ((g >> 8) & 0xFF)) * 9 + (g & 0xFF);
}

int FourGramTable::Compare(void* key, Tcl_HashEntry* entry) {
    return key == static_cast<void*>(entry->key.oneWordValue) ? 1 : 0;
}

Tcl_HashEntry* FourGramTable::Allocate(Tcl_HashTable* table, void* key) {
    Tcl_HashEntry* e = reinterpret_cast<Holder*>(table)->owner->NewEntry();
    e->key.oneWordValue = static_cast<char*>(key);
    e->clientData = nullptr; // count 0
    return e;
}

void FourGramTable::Release(Tcl_HashEntry*) {
    // The arena frees all entries at once.
}

Tcl_HashEntry* FourGramTable::NewEntry() {
    static_assert(sizeof(Block) % alignof(Tcl_HashEntry) == 0, "entries follow the header");
    if (next_ == end_) {
        // Called from inside Tcl, before the new entry is linked: a failure unwinds through Tcl
        // as its own failed allocations do.
        const std::size_t bytes = sizeof(Block) + blockSize_ * sizeof(Tcl_HashEntry);
        auto* block = static_cast<Block*>(std::malloc(bytes));
        if (block == nullptr) throw OutOfMemory(kNoMemory);
        block->previous = blocks_;
        blocks_ = block;
        next_ = reinterpret_cast<Tcl_HashEntry*>(block + 1);
        end_ = next_ + blockSize_;
        if (blockSize_ < kBlockMax) blockSize_ *= 2;
    }
    return next_++;
}
