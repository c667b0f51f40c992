// The running program's record and services, made by main() and handed by reference to the
// windows that act on more than their own widgets (the tray window); the others get what they
// need through their own context.
#pragma once

#include <app/Settings.h>
#include <mail/ReadingState.h>
#include <mail/Seams.h>

namespace engines {
class EngineSpeech;
}
namespace platform {
class SettingsStore;
}

namespace brevon {

class TfrmBrevon;
class TfrmOpties;

struct Program {
    Settings& settings;
    ReadingState& state;
    engines::EngineSpeech& speech;
    platform::SettingsStore& store;
    LanguageCheckOps* languageCheck = nullptr;
    MailOps* mail = nullptr;
    // Set once the preprocessor's engines have started.
    bool preprocessorStarted = false;
    // The control bar and the options dialog, set by main() as it makes them.
    TfrmBrevon* bar = nullptr;
    TfrmOpties* options = nullptr;
};

} // namespace brevon
