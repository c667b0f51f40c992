#include <platform/EndRequests.h>

namespace platform {

int CatchEndRequests() {
    return -1;
}

void ClearEndRequests() {}

} // namespace platform
