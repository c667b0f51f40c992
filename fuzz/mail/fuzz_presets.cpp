// Fuzzes the reading of a providers file. Whatever it holds, reading never throws; a text that
// is refused leaves what was known as it was, and one that is taken leaves no domain pointing at
// a provider that is not there.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include <mail/MailPresets.h>

namespace {

void Require(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

constexpr std::string_view kKnown = "[oauth2 p]\nname = P\nauthorization = https://a/\n"
                                    "token = https://t/\nscopes = s\nmechanism = XOAUTH2\n"
                                    "[domains known.nl]\nhost = pop.known.nl\nport = 995\n"
                                    "security = SSL/TLS\nsignin = oauth2\noauth2 = p\n";

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    brevon::MailPresets presets;
    std::string error;
    Require(presets.Add(kKnown, error), "the fixed entries are refused");
    const brevon::MailPresets before = presets;
    if (!presets.Add(text, error)) {
        Require(!error.empty(), "a refusal without a reason");
        Require(presets.Domains() == before.Domains() && presets.Providers() == before.Providers(),
                "a refused file changed the presets");
        return 0;
    }
    for (const auto& [domain, preset] : presets.Domains()) {
        Require(!preset.oauth2.empty() || preset.signIn != brevon::SignInMethod::OAuth2,
                "an OAuth2 preset without a provider");
        Require(preset.oauth2.empty() || presets.Provider(preset.oauth2),
                "a preset names a provider that is not there");
        Require(presets.ForAddress("x@" + domain) == &preset, "a domain's address finds another");
    }
    return 0;
}
