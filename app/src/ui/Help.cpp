#include "Help.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <system_error>

#include <QDesktopServices>
#include <QStandardPaths>

#include <platform/AtomicWrite.h>
#include <platform/DataPaths.h>

#include "Trace.h"

namespace brevon {

namespace {

constexpr const char* kHelpFileName = "brevon.html";

bool HoldsText(const std::filesystem::path& file, const std::string& text) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    const std::string held{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return held == text;
}

// The per-user runtime folder (XDG_RUNTIME_DIR) when there is one: the pages are throwaway.
std::filesystem::path RedirectDir() {
    QString base = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (base.isEmpty())
        base = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (base.isEmpty()) return {};
    return std::filesystem::path(base.toStdString()) / "brevon";
}

} // namespace

std::string HelpAnchor(int topic) {
    return "onderwerp-" + std::to_string(topic);
}

QUrl HelpTopicUrl(const std::filesystem::path& helpFile, int topic) {
    QUrl url = QUrl::fromLocalFile(QString::fromStdString(helpFile.string()));
    url.setFragment(QString::fromStdString(HelpAnchor(topic)));
    return url;
}

std::string HelpRedirectPage(const QUrl& target) {
    const std::string url = target.toString(QUrl::FullyEncoded).toHtmlEscaped().toStdString();
    return "<!DOCTYPE html>\n"
           "<html lang=\"nl\">\n"
           "<head>\n"
           "<meta charset=\"utf-8\">\n"
           "<meta http-equiv=\"refresh\" content=\"0; url=" +
           url +
           "\">\n"
           "<title>Brevon \xE2\x80\x93 Help</title>\n"
           "</head>\n"
           "<body>\n"
           "<p><a href=\"" +
           url +
           "\">Naar de hulp van Brevon</a></p>\n"
           "</body>\n"
           "</html>\n";
}

bool OpenHelpTopic(int topic, const std::filesystem::path& helpFile,
                   const std::filesystem::path& redirectDir,
                   const std::function<bool(const QUrl&)>& open) {
    Trace("ShowHelp " + std::to_string(topic));
    std::error_code ec;
    if (!std::filesystem::is_regular_file(helpFile, ec)) {
        std::fprintf(stderr, "brevon: no help file at %s\n", helpFile.string().c_str());
        Trace("Help not opened: no help file at " + helpFile.string());
        return false;
    }
    const QUrl target = HelpTopicUrl(std::filesystem::absolute(helpFile, ec), topic);
    QUrl url = target;
    if (!redirectDir.empty()) {
        // Written once per topic and help location; atomically, so a browser never reads half.
        const std::string page = HelpRedirectPage(target);
        const std::filesystem::path redirect =
            redirectDir / ("brevon-help-" + HelpAnchor(topic) + ".html");
        if (HoldsText(redirect, page) || (!platform::CreatePrivateDirectories(redirectDir) &&
                                          !platform::WriteFileAtomically(redirect, page)))
            url = QUrl::fromLocalFile(QString::fromStdString(redirect.string()));
    }
    // Traced only once the viewer has the page, so a watcher learns whether help really opened.
    const bool opened = open(url);
    if (opened) {
        Trace("Help opened " + url.toString(QUrl::FullyEncoded).toStdString());
    } else {
        std::fprintf(stderr, "brevon: the help could not be opened\n");
        Trace("Help not opened: no viewer took " + url.toString(QUrl::FullyEncoded).toStdString());
    }
    return opened;
}

void ShowHelpTopic(int topic) {
    OpenHelpTopic(topic, platform::FindReadOnlyDataFile(kHelpFileName), RedirectDir(),
                  [](const QUrl& url) { return QDesktopServices::openUrl(url); });
}

} // namespace brevon
