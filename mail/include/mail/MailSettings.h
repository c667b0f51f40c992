// The settings the mail side reads. The shell answers from its settings record at each call,
// so a change made in the options dialog counts from the next check or reading on.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace brevon {

struct MailSettings {
    std::string Host;
    std::string User;
    std::string Password; // in plain
    std::int32_t NumSaveMails = 20;
    bool UseNumSaveMails = true;
    bool Reverse = false;
    bool SkipReply = false;
    bool UseLid = false;
    bool ShowWindow = true;
};

using MailSettingsSource = std::function<MailSettings()>;

} // namespace brevon
