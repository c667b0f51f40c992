// The running program's windows and services, reached process-wide as the windows reach each
// other. Set up by main() in start-up order; every pointer is null until its window exists.
#pragma once

#include <mail/ReadingState.h>
#include <app/Settings.h>
#include <mail/Seams.h>

namespace platform {
class SettingsStore;
}

namespace brevon {

class EngineSpeech;
class TfrmMain;
class TfrmBrevon;
class TfrmSplash;
class TfrmOpties;
class TformEmailConnection;

struct Program {
    Settings& settings;
    ReadingState& state;
    EngineSpeech& speech;
    platform::SettingsStore& store;
    LanguageCheckOps* languageCheck = nullptr;
    MailOps* mail = nullptr;
    // Set once the preprocessor's engines have started.
    bool preprocessorStarted = false;
};

// Null before main() has set it up.
Program* TheProgram();
void SetProgram(Program* program);

// Runs a reading operation of the mail side, once it exists; the bar and the tray menu share it.
void CallMail(void (MailOps::*operation)());

extern TfrmMain* frmMain;
extern TfrmBrevon* frmBrevon;
extern TfrmSplash* frmSplash;
extern TfrmOpties* frmOpties;
extern TformEmailConnection* formEmailConnection;

} // namespace brevon
