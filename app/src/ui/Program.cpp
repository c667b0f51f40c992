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

TfrmMain* frmMain = nullptr;
TfrmBrevon* frmBrevon = nullptr;
TfrmSplash* frmSplash = nullptr;
TfrmOpties* frmOpties = nullptr;
TformEmailConnection* formEmailConnection = nullptr;

} // namespace brevon
