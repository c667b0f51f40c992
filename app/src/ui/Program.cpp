#include "Program.h"

namespace brevon {

namespace {
Program* gProgram = nullptr;
}

Program* TheProgram() {
    return gProgram;
}
void SetProgram(Program* program) {
    gProgram = program;
}

void CallMail(void (MailOps::*operation)()) {
    if (gProgram && gProgram->mail) (gProgram->mail->*operation)();
}

TfrmMain* frmMain = nullptr;
TfrmBrevon* frmBrevon = nullptr;
TfrmSplash* frmSplash = nullptr;
TfrmOpties* frmOpties = nullptr;
TformEmailConnection* formEmailConnection = nullptr;

} // namespace brevon
