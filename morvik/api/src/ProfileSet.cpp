#include <morvik/api/ProfileSet.h>

#include <algorithm>
#include <cmath>

namespace {

std::size_t SlotOf(std::uint32_t key, unsigned shift) {
    return static_cast<std::size_t>((key * 0x9E3779B1u) >> shift);
}

// Bits of the smallest power of two at least twice n: open addressing at most half full.
unsigned BitsFor(std::size_t n) {
    unsigned bits = 4;
    while ((std::size_t{1} << bits) < n * 2)
        ++bits;
    return bits;
}

// Where key sits in the open-addressed table of keys keyOf(slot), or the empty slot that ends
// its probe sequence.
template <typename Table, typename KeyOf>
std::size_t Probe(const Table& table, unsigned shift, std::uint32_t key, KeyOf keyOf) {
    const std::size_t mask = table.size() - 1;
    std::size_t s = SlotOf(key, shift);
    while (keyOf(table[s]) != key && keyOf(table[s]) != 0)
        s = (s + 1) & mask;
    return s;
}

template <typename Fn> void ForEachFourGram(const LanguageProfile& p, Fn&& fn) {
    for (const auto& [key, value] : p.Model) {
        if (key.size() != 4) continue;
        // A 4-gram never holds a zero byte; 0 marks empty slots.
        const std::uint32_t packed = FourGramTable::Pack(key);
        if (packed != 0) fn(packed, value);
    }
}

inline void Prefetch(const void* p) {
#if defined(__GNUC__)
    __builtin_prefetch(p);
#else
    (void)p;
#endif
}

} // namespace

bool ProfileSet::Sums(std::size_t i) const {
    return profiles_[i]->IsLoaded() && profiles_[i]->Vocabulary() > 0;
}

void ProfileSet::Build(const LanguageProfile* const* profiles, std::size_t count) {
    if (count > kMaxProfiles) count = kMaxProfiles;
    profiles_.assign(profiles, profiles + count);
    for (std::size_t i = 0; i < kMaxProfiles; ++i) {
        unseen_[i] = i < count && Sums(i) ? UnseenLogProbability(profiles_[i]->Vocabulary()) : 0.0f;
    }
    // The distinct 4-grams of all models, counted in a table of keys alone, size the table.
    std::size_t all = 0;
    for (const LanguageProfile* p : profiles_)
        all += p->Model.size();
    std::size_t distinct = 0;
    {
        const unsigned bits = BitsFor(all);
        std::vector<std::uint32_t> keys(std::size_t{1} << bits, 0);
        for (const LanguageProfile* p : profiles_) {
            ForEachFourGram(*p, [&](std::uint32_t key, std::int32_t) {
                std::uint32_t& k = keys[Probe(keys, 32 - bits, key, [](auto k) { return k; })];
                if (k == 0) ++distinct;
                k = key;
            });
        }
    }
    const unsigned bits = BitsFor(distinct);
    shift_ = 32 - bits;
    slots_.assign(std::size_t{1} << bits, Slot{});
    for (std::size_t i = 0; i < count; ++i) {
        ForEachFourGram(*profiles_[i], [&](std::uint32_t key, std::int32_t value) {
            Slot& slot = slots_[Probe(slots_, shift_, key, [](const Slot& s) { return s.key; })];
            if (slot.key == 0) {
                slot.key = key;
                std::copy(unseen_, unseen_ + kMaxProfiles, slot.logProbability);
            }
            slot.logProbability[i] = LogProbabilityOf(value);
        });
    }
}

template <typename Add> void ProfileSet::Visit(const FourGramTable& grams, Add&& add) const {
    // The lookups are misses in a table of megabytes: each slot is fetched a few entries ahead
    // of its use, so that several fetches overlap. The entries are still added in their order.
    constexpr std::size_t kAhead = 8;
    struct Pending {
        std::size_t slot;
        std::uint32_t key;
        std::int32_t count;
    } ring[kAhead] = {};
    std::size_t queued = 0;
    if (slots_.empty()) {
        grams.ForEach([&](std::uint32_t, std::int32_t count) { add(unseen_, count); });
        return;
    }
    const std::size_t mask = slots_.size() - 1;
    auto use = [&](const Pending& p) {
        for (std::size_t s = p.slot;; s = (s + 1) & mask) {
            const Slot& slot = slots_[s];
            if (slot.key == p.key) return add(slot.logProbability, p.count);
            if (slot.key == 0) return add(unseen_, p.count);
        }
    };
    grams.ForEach([&](std::uint32_t key, std::int32_t count) {
        const std::size_t s = SlotOf(key, shift_);
        Prefetch(&slots_[s]);
        Pending& p = ring[queued % kAhead];
        if (queued >= kAhead) use(p);
        p = Pending{s, key, count};
        ++queued;
    });
    for (std::size_t k = queued > kAhead ? queued - kAhead : 0; k < queued; ++k)
        use(ring[k % kAhead]);
}

void ProfileSet::ScoreFourGrams(const FourGramTable& grams, std::int32_t total,
                                float* scores) const {
    const std::size_t count = profiles_.size();
    bool any = false;
    for (std::size_t i = 0; i < count; ++i) {
        // The cases without a sum (not loaded, no 4-gram, no characters) keep their own path,
        // messages included.
        if (total == 0 || !Sums(i)) {
            scores[i] = profiles_[i]->ScoreFourGrams(grams, total);
        } else {
            any = true;
        }
    }
    if (!any) return;
    // All six sums run (the others' columns are never read); each is the profile's own sum,
    // term for term.
    float sums[kMaxProfiles] = {};
    Visit(grams, [&](const float* lp, std::int32_t n) {
        const float c = static_cast<float>(n);
        for (std::size_t i = 0; i < kMaxProfiles; ++i)
            sums[i] = sums[i] + c * lp[i];
    });
    for (std::size_t i = 0; i < count; ++i) {
        if (total != 0 && Sums(i))
            scores[i] = static_cast<float>(std::exp(static_cast<double>(sums[i]) / total));
    }
}

float ProfileSet::ScoreFourGrams(std::size_t i, const FourGramTable& grams,
                                 std::int32_t total) const {
    if (i >= profiles_.size()) return 0.0f;
    if (total == 0 || !Sums(i)) return profiles_[i]->ScoreFourGrams(grams, total);
    float sum = 0.0f;
    Visit(grams,
          [&](const float* lp, std::int32_t n) { sum = sum + static_cast<float>(n) * lp[i]; });
    return static_cast<float>(std::exp(static_cast<double>(sum) / total));
}
