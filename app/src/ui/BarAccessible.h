// What a screen reader sees of the control bar: the bar as a tool bar named "Brevon" and each
// picture button as a push button with its tray item's name, its hint as description, its
// enabled state and a press action that does what a click does. Qt sees only pictures there.
#pragma once

class QWidget;

namespace brevon {

// Registers the interfaces with Qt's accessibility; safe to call more than once.
void InstallBarAccessibility();

// Tells the accessibility bus that the button's enabled state has changed.
void AnnounceEnabledChange(QWidget* control);

// Tells the accessibility bus that the button's description (its hint) has changed.
void AnnounceDescriptionChange(QWidget* control);

} // namespace brevon
