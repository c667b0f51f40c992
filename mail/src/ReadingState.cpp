#include <mail/ReadingState.h>

#include <algorithm>

namespace brevon {

void ReadingState::ClampCurrentIndex() {
    const int last = std::max(0, static_cast<int>(KnownHeaders.size()) - 1);
    CurrentIndex = std::clamp(CurrentIndex, 0, last);
}

ReadingState& AppReadingState() {
    static ReadingState state;
    return state;
}

} // namespace brevon
