#include <app/ReadingState.h>

namespace brevon {

ReadingState& AppReadingState() {
    static ReadingState state;
    return state;
}

} // namespace brevon
