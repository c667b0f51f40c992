#include <morvik/api/ProfileSet.h>

#include <cmath>
#include <cstdio>
#include <string_view>
#include <unordered_map>

namespace {

std::uint32_t Pack(std::string_view t) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(t[0])) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(t[1])) << 8) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(t[2])) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(t[3])) << 24);
}

std::size_t SlotOf(std::uint32_t key, unsigned shift) {
    return static_cast<std::size_t>((key * 0x9E3779B1u) >> shift);
}

std::int32_t Vocabulary(const LanguageProfile& p) {
    auto v = p.Model.find(std::string_view(kNrCharsKey));
    return v != p.Model.end() ? v->second : 0;
}

} // namespace

void ProfileSet::Build(const LanguageProfile* const* profiles, std::size_t count) {
    if (count > kMaxProfiles) count = kMaxProfiles;
    profiles_.assign(profiles, profiles + count);
    std::unordered_map<std::uint32_t, std::uint32_t> rows;
    values_.clear();
    present_.clear();
    for (std::size_t i = 0; i < count; ++i) {
        for (const auto& [key, value] : profiles_[i]->Model) {
            if (key.size() != 4) continue;
            const std::uint32_t packed = Pack(key);
            if (packed == 0) continue;
            auto [it, added] = rows.emplace(packed, static_cast<std::uint32_t>(present_.size()));
            if (added) {
                values_.resize(values_.size() + kMaxProfiles, 0);
                present_.push_back(0);
            }
            values_[it->second * kMaxProfiles + i] = value;
            present_[it->second] = static_cast<std::uint8_t>(present_[it->second] | (1u << i));
        }
    }
    unsigned bits = 4;
    while ((std::size_t{1} << bits) < rows.size() * 2)
        ++bits;
    shift_ = 32 - bits;
    slots_.assign(std::size_t{1} << bits, Slot{});
    const std::size_t mask = slots_.size() - 1;
    for (const auto& [key, row] : rows) {
        std::size_t s = SlotOf(key, shift_);
        while (slots_[s].key != 0)
            s = (s + 1) & mask;
        slots_[s] = Slot{key, row};
    }
}

const ProfileSet::Slot* ProfileSet::Find(std::uint32_t key) const {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t s = SlotOf(key, shift_);; s = (s + 1) & mask) {
        if (slots_[s].key == key) return &slots_[s];
        if (slots_[s].key == 0) return nullptr;
    }
}

void ProfileSet::ScoreTerms(const TermList& terms, std::int32_t total, float* scores) const {
    const std::size_t count = profiles_.size();
    float unseen[kMaxProfiles] = {};
    float sums[kMaxProfiles] = {};
    bool direct[kMaxProfiles] = {};
    bool any = false;
    for (std::size_t i = 0; i < count; ++i) {
        const LanguageProfile& p = *profiles_[i];
        const std::int32_t v = Vocabulary(p);
        // The cases without a sum (not loaded, no 4-gram, no characters) keep their own path,
        // messages included.
        direct[i] = !p.IsLoaded() || total == 0 || v <= 0;
        if (direct[i]) {
            scores[i] = p.ScoreTerms(terms, total);
        } else {
            unseen[i] = static_cast<float>(std::log(1.0 / v));
            any = true;
        }
    }
    if (!any) return;
    for (const TermCount& tc : terms) {
        const Slot* slot = (tc.Term.size() == 4 && !slots_.empty()) ? Find(Pack(tc.Term)) : nullptr;
        const float c = static_cast<float>(tc.Count);
        for (std::size_t i = 0; i < count; ++i) {
            if (direct[i]) continue;
            float lp = unseen[i];
            if (slot != nullptr && ((present_[slot->row] >> i) & 1u) != 0) {
                lp = static_cast<float>(values_[slot->row * kMaxProfiles + i] / 1000000.0);
            } else if (slot == nullptr && tc.Term.size() != 4) {
                // Not a 4-gram: only the profile's own dictionary can answer.
                const std::int32_t* value = profiles_[i]->Find(tc.Term);
                if (value != nullptr) lp = static_cast<float>(*value / 1000000.0);
            }
            sums[i] = sums[i] + c * lp;
        }
    }
    for (std::size_t i = 0; i < count; ++i) {
        if (!direct[i])
            scores[i] = static_cast<float>(std::exp(static_cast<double>(sums[i]) / total));
    }
}
