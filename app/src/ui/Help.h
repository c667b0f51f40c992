// The help: one HTML page with an anchor per topic, opened in the user's browser.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include <QUrl>

namespace brevon {

// Opens the help at topic (0: control bar and tray, 2: options dialog).
void ShowHelpTopic(int topic);

// The anchor of a topic in the help page: "onderwerp-<topic>".
std::string HelpAnchor(int topic);

// The help file's URL, pointing at the topic's anchor.
QUrl HelpTopicUrl(const std::filesystem::path& helpFile, int topic);

// A page that sends the browser on to target at once. Desktop openers often drop the fragment
// of a file URL; opening this page instead keeps it.
std::string HelpRedirectPage(const QUrl& target);

// ShowHelpTopic with its surroundings passed in: traces "ShowHelp <topic>", then opens (with
// open) a redirect page to helpFile's topic, written into redirectDir. When the redirect page
// cannot be written, the help file's URL is opened as it is. A missing help file is logged to
// stderr and opens nothing. True when open was called and succeeded; then "Help opened <url>"
// is traced with the URL handed over, otherwise "Help not opened: <why>".
bool OpenHelpTopic(int topic, const std::filesystem::path& helpFile,
                   const std::filesystem::path& redirectDir,
                   const std::function<bool(const QUrl&)>& open);

} // namespace brevon
