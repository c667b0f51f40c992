// A termination request from outside (SIGTERM, SIGINT, SIGHUP) ends the program as the tray's
// "Sluiten" does, so the settings are saved and the tray icon removed.
#pragma once

#include <functional>

namespace brevon {

// Calls end on the UI thread when one of those signals arrives. Call once, after the
// application object exists.
void OnEndSignal(std::function<void()> end);

} // namespace brevon
