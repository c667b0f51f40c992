// Stand-in until the options dialog lands.
#pragma once

#include <QDialog>

#include <app/Settings.h>

namespace brevon {

class TfrmOpties : public QDialog {
public:
    using QDialog::QDialog;
    void LoadOptions() {}
    void SelectConnectionField(bool) {}
    WindowPosition Position() const { return {x(), y()}; }
};

} // namespace brevon
