// Requests from outside to end the program (SIGTERM, SIGINT and SIGHUP on POSIX), turned into
// something an event loop can watch.
#pragma once

namespace platform {

// Catches the requests from now on and returns a descriptor that becomes readable when one
// arrives; -1 where there are none to catch (Windows, where a program in the notification area
// is ended through its own window messages) or they cannot be caught. Call once.
int CatchEndRequests();

// Empties the descriptor after a request, so that it waits for the next.
void ClearEndRequests();

} // namespace platform
