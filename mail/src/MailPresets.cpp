#include <mail/MailPresets.h>

#include <algorithm>
#include <charconv>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

namespace brevon {

namespace {

// Far beyond any real list of providers; a larger file is not one.
constexpr std::size_t kMaxFileSize = 1 << 20;

std::string_view Trim(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::vector<std::string_view> Words(std::string_view s) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
            ++i;
        const std::size_t start = i;
        while (i < s.size() && s[i] != ' ' && s[i] != '\t')
            ++i;
        if (i > start) words.push_back(s.substr(start, i - start));
    }
    return words;
}

// A host or mail domain: labels of letters, digits and "-" joined by dots.
bool IsDomainName(std::string_view s) {
    if (s.empty() || s.size() > 253 || s.front() == '.' || s.back() == '.') return false;
    char previous = '.';
    for (const char c : s) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '-' || c == '.';
        if (!ok || (c == '.' && previous == '.')) return false;
        previous = c;
    }
    return true;
}

bool IsPort(std::string_view s) {
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    return ec == std::errc() && end == s.data() + s.size() && !s.empty() && value >= 1 &&
           value <= 65535;
}

// RFC 6749, 3.1 and 3.2: the endpoints are reached over TLS. Plain HTTP is allowed to this
// machine only, where a company's or a test's own server may listen.
bool IsEndpoint(std::string_view url) {
    for (const std::string_view prefix :
         {std::string_view("https://"), std::string_view("http://127.0.0.1:"),
          std::string_view("http://127.0.0.1/"), std::string_view("http://localhost:")})
        if (url.size() > prefix.size() && Lower(url.substr(0, prefix.size())) == prefix)
            return url.find_first_of(" \t") == std::string_view::npos;
    return false;
}

// One [section] of a file while it is read: its kind, its header's line and its keys.
struct Section {
    enum class Kind { Domains, OAuth2 } kind = Kind::Domains;
    int line = 0;
    std::vector<std::string> names; // domains, or the provider's id
    std::map<std::string, std::string> values;
};

std::string At(int line, const std::string& what) {
    return "line " + std::to_string(line) + ": " + what;
}

const std::set<std::string, std::less<>> kDomainKeys{"source",   "host",   "port",
                                                     "security", "signin", "oauth2"};
const std::set<std::string, std::less<>> kOAuthKeys{"source", "name",      "authorization", "token",
                                                    "scopes", "client-id", "mechanism"};

std::string Need(const Section& s, const char* key, std::string& error) {
    const auto it = s.values.find(key);
    if (it == s.values.end() || it->second.empty()) {
        if (error.empty()) error = At(s.line, std::string("\"") + key + "\" is missing");
        return {};
    }
    return it->second;
}

std::string Optional(const Section& s, const char* key) {
    const auto it = s.values.find(key);
    return it == s.values.end() ? std::string() : it->second;
}

bool ToProvider(const Section& s, OAuthProvider& p, std::string& error) {
    p.id = s.names.front();
    p.source = Optional(s, "source");
    p.name = Need(s, "name", error);
    p.authorizationUrl = Need(s, "authorization", error);
    p.tokenUrl = Need(s, "token", error);
    p.scopes = Need(s, "scopes", error);
    p.clientId = Optional(s, "client-id");
    p.mechanism = Need(s, "mechanism", error);
    if (!error.empty()) return false;
    for (const std::string* url : {&p.authorizationUrl, &p.tokenUrl})
        if (!IsEndpoint(*url)) {
            error = At(s.line, "\"" + *url + "\" is no https:// address");
            return false;
        }
    if (p.mechanism != "XOAUTH2" && p.mechanism != "OAUTHBEARER") {
        error = At(s.line, "mechanism \"" + p.mechanism + "\" is neither XOAUTH2 nor OAUTHBEARER");
        return false;
    }
    return true;
}

bool ToPreset(const Section& s, MailPreset& p, std::string& error) {
    p.domains = s.names;
    p.source = Optional(s, "source");
    p.host = Need(s, "host", error);
    p.port = Need(s, "port", error);
    const std::string security = Need(s, "security", error);
    const std::string signIn = Need(s, "signin", error);
    p.oauth2 = Lower(Optional(s, "oauth2"));
    if (!error.empty()) return false;
    if (!IsDomainName(p.host))
        error = At(s.line, "host \"" + p.host + "\" is no host name");
    else if (!IsPort(p.port))
        error = At(s.line, "port \"" + p.port + "\" is not 1 to 65535");
    else if (security != SecurityText(SecurityFromText(security)))
        error = At(s.line, "security \"" + security + "\" is not SSL/TLS, STARTTLS or Geen");
    else if (signIn == "password")
        p.signIn = SignInMethod::Password;
    else if (signIn == "app-password")
        p.signIn = SignInMethod::AppPassword;
    else if (signIn == "oauth2")
        p.signIn = SignInMethod::OAuth2;
    else
        error = At(s.line, "signin \"" + signIn + "\" is not password, app-password or oauth2");
    if (!error.empty()) return false;
    p.security = SecurityFromText(security);
    if (p.signIn == SignInMethod::OAuth2 && p.oauth2.empty()) {
        error = At(s.line, "signin oauth2 names no \"oauth2\" provider");
        return false;
    }
    return true;
}

} // namespace

bool MailPresets::Add(std::string_view text, std::string& error) {
    error.clear();
    if (text.size() > kMaxFileSize) {
        error = "larger than " + std::to_string(kMaxFileSize) + " bytes";
        return false;
    }
    std::vector<Section> sections;
    int lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const std::size_t end = text.find('\n');
        const std::string_view line = Trim(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty() || line.front() == '#' || line.front() == ';') continue;
        for (const char c : line)
            if (static_cast<unsigned char>(c) < ' ' && c != '\t') {
                error = At(lineNumber, "holds a control character");
                return false;
            }
        if (line.front() == '[') {
            if (line.back() != ']') {
                error = At(lineNumber, "a section without \"]\"");
                return false;
            }
            const std::vector<std::string_view> words = Words(line.substr(1, line.size() - 2));
            Section s;
            s.line = lineNumber;
            if (!words.empty() && words.front() == "domains")
                s.kind = Section::Kind::Domains;
            else if (!words.empty() && words.front() == "oauth2")
                s.kind = Section::Kind::OAuth2;
            else {
                error = At(lineNumber, "a section is [domains ...] or [oauth2 id]");
                return false;
            }
            for (auto it = std::next(words.begin()); it != words.end(); ++it) {
                if (!IsDomainName(*it)) {
                    error = At(lineNumber, "\"" + std::string(*it) + "\" is no name");
                    return false;
                }
                s.names.push_back(Lower(*it));
            }
            if (s.names.empty() || (s.kind == Section::Kind::OAuth2 && s.names.size() != 1)) {
                error = At(lineNumber, s.kind == Section::Kind::OAuth2
                                           ? "[oauth2 id] names one provider"
                                           : "[domains ...] names no domain");
                return false;
            }
            sections.push_back(std::move(s));
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            error = At(lineNumber, "neither a section nor \"key = value\"");
            return false;
        }
        if (sections.empty()) {
            error = At(lineNumber, "a value before the first section");
            return false;
        }
        Section& s = sections.back();
        const std::string key = Lower(Trim(line.substr(0, equals)));
        const auto& known = s.kind == Section::Kind::Domains ? kDomainKeys : kOAuthKeys;
        if (!known.contains(key)) {
            error = At(lineNumber, "unknown key \"" + key + "\"");
            return false;
        }
        if (!s.values.emplace(key, std::string(Trim(line.substr(equals + 1)))).second) {
            error = At(lineNumber, "\"" + key + "\" given twice");
            return false;
        }
    }

    // Built aside, so a bad file changes nothing.
    std::map<std::string, MailPreset> domains = domains_;
    std::map<std::string, OAuthProvider> providers = providers_;
    std::vector<const Section*> presetSections;
    for (const Section& s : sections) {
        if (s.kind != Section::Kind::OAuth2) continue;
        OAuthProvider p;
        if (!ToProvider(s, p, error)) return false;
        providers[p.id] = std::move(p);
    }
    for (const Section& s : sections) {
        if (s.kind != Section::Kind::Domains) continue;
        MailPreset p;
        if (!ToPreset(s, p, error)) return false;
        if (!p.oauth2.empty() && !providers.contains(p.oauth2)) {
            error = At(s.line, "no [oauth2 " + p.oauth2 + "] entry");
            return false;
        }
        for (const std::string& domain : p.domains)
            domains[domain] = p;
    }
    domains_ = std::move(domains);
    providers_ = std::move(providers);
    return true;
}

const MailPreset* MailPresets::ForAddress(std::string_view address) const {
    address = Trim(address);
    const std::size_t at = address.rfind('@');
    if (at == std::string_view::npos) return nullptr;
    const auto it = domains_.find(Lower(address.substr(at + 1)));
    return it == domains_.end() ? nullptr : &it->second;
}

const OAuthProvider* MailPresets::Provider(std::string_view id) const {
    const auto it = providers_.find(Lower(id));
    return it == providers_.end() ? nullptr : &it->second;
}

bool LooksLikeAddress(std::string_view address) {
    const std::size_t at = address.rfind('@');
    return at != std::string_view::npos && at > 0 && at + 1 < address.size() &&
           address.find_first_of(" \t\r\n") == std::string_view::npos &&
           IsDomainName(address.substr(at + 1));
}

namespace {

// The file's text; nothing with the reason in error when it cannot be read whole.
std::optional<std::string> ReadText(const std::filesystem::path& file, std::string& error) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        error = "cannot be opened";
        return std::nullopt;
    }
    std::string text;
    char buffer[4096];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        text.append(buffer, static_cast<std::size_t>(in.gcount()));
        if (text.size() > kMaxFileSize) {
            error = "larger than " + std::to_string(kMaxFileSize) + " bytes";
            return std::nullopt;
        }
    }
    if (in.bad()) {
        error = "cannot be read";
        return std::nullopt;
    }
    return text;
}

} // namespace

PresetsLoad LoadMailPresets(const std::filesystem::path& shipped,
                            const std::filesystem::path& user) {
    PresetsLoad load;
    for (const std::filesystem::path* file : {&shipped, &user}) {
        if (file->empty()) continue;
        std::error_code ec;
        if (file == &user && !std::filesystem::exists(*file, ec)) continue;
        std::string error;
        const std::optional<std::string> text = ReadText(*file, error);
        if (text) load.presets.Add(*text, error);
        if (!error.empty()) load.errors.push_back(file->string() + ": " + error);
    }
    return load;
}

} // namespace brevon
