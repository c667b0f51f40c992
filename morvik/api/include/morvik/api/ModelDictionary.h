// ModelDictionary: one language's model, from n-gram string to 1000000 x ln(probability), plus
// the entry "nrchars" (V, the number of distinct characters of the training text).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

struct ModelKeyHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};

using ModelDictionary =
    std::unordered_map<std::string, std::int32_t, ModelKeyHash, std::equal_to<>>;

inline constexpr char kNrCharsKey[] = "nrchars";
