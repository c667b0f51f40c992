// Shared by morvik's tools: file names inside a configuration are relative to its folder, so
// the tools work from that folder whatever the caller's working directory.
#pragma once

#include <string>

// Changes to the configuration's folder; returns the name to open from there, or "" after a
// message on stderr when the folder cannot be entered.
std::string EnterConfigFolder(const std::string& configPath);
