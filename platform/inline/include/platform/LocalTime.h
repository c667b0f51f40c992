// The local time of a moment, safe on any thread. Header-only, so that the libraries shipped on
// their own (the speech engine) use it without linking the platform layer.
#pragma once

#include <ctime>

namespace platform {

inline std::tm LocalTime(std::time_t moment) {
    std::tm local{};
#if defined(_WIN32)
    localtime_s(&local, &moment); // Microsoft's argument order, not C11's
#else
    localtime_r(&moment, &local);
#endif
    return local;
}

} // namespace platform
