// The program's help, opened in the user's browser at a topic: 0 the bar and the tray menu,
// 2 the options dialog.
#pragma once

namespace brevon {
void ShowHelpTopic(int topic);
}
