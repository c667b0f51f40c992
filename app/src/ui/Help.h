// The help file, opened at a topic.
#pragma once

namespace brevon {
void ShowHelpTopic(int topic);
}
