#include <morvik/api/CountTable.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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

// Tcl ends in its panic procedure when an allocation fails or a table is corrupted. An
// allocation failure gets the library's own message; anything else is a broken table.
TCL_NORETURN1 void HashPanic(const char* format, ...) {
    if (format != nullptr && std::strstr(format, "alloc") != nullptr) {
        std::fputs("hash: could not allocate memory\n", stderr);
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

void InstallPanic() {
    static const bool installed = [] {
        Tcl_SetPanicProc(HashPanic);
        KeepTclLoaded();
        return true;
    }();
    (void)installed;
}

} // namespace

CountTable::CountTable() : table_(), search_() {
    InstallPanic();
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
    Tcl_HashEntry* e = Tcl_CreateHashEntry(&table_, key != nullptr ? key : "", &isNew);
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
