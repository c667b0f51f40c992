#include <Help.h>
#include <Trace.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace brevon {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The target of a redirect page's refresh, as a URL.
QUrl RefreshTarget(const std::string& page) {
    const std::string marker = "content=\"0; url=";
    const auto begin = page.find(marker);
    if (begin == std::string::npos) return {};
    const auto start = begin + marker.size();
    const auto end = std::min(page.find('"', start), page.size());
    // Built piece by piece rather than replaced in place: GCC 12 at -O3 warns falsely
    // (-Wrestrict) of the replace.
    std::string url;
    for (auto at = start; at < end;) {
        if (page.compare(at, 5, "&amp;") == 0) {
            url += '&';
            at += 5;
        } else {
            url += page[at++];
        }
    }
    return QUrl(QString::fromStdString(url), QUrl::StrictMode);
}

class HelpTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("brevon-help-test-" + std::to_string(std::random_device{}()));
        fs::create_directories(dir_);
        helpFile_ = dir_ / "brevon.html";
        std::ofstream(helpFile_) << "<p id=\"onderwerp-0\"></p><p id=\"onderwerp-2\"></p>";
        trace_ = dir_ / "trace.txt";
        ::setenv("BREVON_TRACE", trace_.c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("BREVON_TRACE");
        fs::remove_all(dir_);
    }

    // Opens with a recorder instead of the desktop, so no browser starts.
    bool Open(int topic, const fs::path& helpFile, const fs::path& redirectDir) {
        return OpenHelpTopic(topic, helpFile, redirectDir, [this](const QUrl& url) {
            opened_.push_back(url);
            return true;
        });
    }

    fs::path dir_, helpFile_, trace_;
    std::vector<QUrl> opened_;
};

TEST_F(HelpTest, EachTopicOpensARedirectPageThatLeadsToItsAnchor) {
    const fs::path redirects = dir_ / "runtime";
    for (const int topic : {0, 2}) {
        opened_.clear();
        ASSERT_TRUE(Open(topic, helpFile_, redirects));
        ASSERT_EQ(opened_.size(), 1u);
        const QUrl page = opened_[0];
        ASSERT_TRUE(page.isLocalFile());
        EXPECT_EQ(fs::path(page.toLocalFile().toStdString()).parent_path(), redirects);

        const QUrl target = RefreshTarget(ReadFile(page.toLocalFile().toStdString()));
        EXPECT_EQ(target, HelpTopicUrl(helpFile_, topic));
        EXPECT_EQ(target.toLocalFile().toStdString(), helpFile_.string());
        EXPECT_EQ(target.fragment().toStdString(), "onderwerp-" + std::to_string(topic));
    }
    // Opening again reuses the page.
    ASSERT_TRUE(Open(2, helpFile_, redirects));
    EXPECT_EQ(opened_.size(), 2u);
    EXPECT_EQ(std::distance(fs::directory_iterator(redirects), fs::directory_iterator()), 2);
}

TEST_F(HelpTest, AHelpPathWithCharactersSpecialInUrlsAndHtmlSurvivesTheRedirect) {
    const fs::path odd = dir_ / "a b&c#d\"e<f>" / "brevon.html";
    fs::create_directories(odd.parent_path());
    fs::copy_file(helpFile_, odd);
    ASSERT_TRUE(Open(2, odd, dir_ / "runtime"));
    ASSERT_EQ(opened_.size(), 1u);
    const std::string page = ReadFile(opened_[0].toLocalFile().toStdString());
    const QUrl target = RefreshTarget(page);
    EXPECT_EQ(target.toLocalFile().toStdString(), odd.string()) << page;
    EXPECT_EQ(target.fragment().toStdString(), "onderwerp-2");
}

TEST_F(HelpTest, WithoutAWritableRedirectFolderTheHelpFileItselfIsOpened) {
    const fs::path blocked = dir_ / "plain-file";
    std::ofstream(blocked) << "x";
    ASSERT_TRUE(Open(0, helpFile_, blocked / "runtime"));
    ASSERT_EQ(opened_.size(), 1u);
    EXPECT_EQ(opened_[0], HelpTopicUrl(helpFile_, 0));
}

TEST_F(HelpTest, TheTraceSaysWhetherTheHelpReachedAViewer) {
    const fs::path missing = dir_ / "missing.html";
    const struct {
        const char* what;
        bool helpThere;
        bool viewerTakesIt;
        bool opened;
    } cases[] = {
        {"help handed over", true, true, true},
        {"no viewer took it", true, false, false},
        {"no help file", false, true, false},
    };
    for (const auto& c : cases) {
        fs::remove(trace_);
        std::vector<QUrl> handed;
        const bool opened = OpenHelpTopic(0, c.helpThere ? helpFile_ : missing, dir_ / "runtime",
                                          [&](const QUrl& url) {
                                              handed.push_back(url);
                                              return c.viewerTakesIt;
                                          });
        EXPECT_EQ(opened, c.opened) << c.what;
        std::string expected = "ShowHelp 0\n";
        if (!c.helpThere)
            expected += "Help not opened: no help file at " + missing.string() + "\n";
        else if (!c.viewerTakesIt)
            expected += "Help not opened: no viewer took " +
                        handed.at(0).toString(QUrl::FullyEncoded).toStdString() + "\n";
        else
            expected +=
                "Help opened " + handed.at(0).toString(QUrl::FullyEncoded).toStdString() + "\n";
        EXPECT_EQ(ReadFile(trace_), expected) << c.what;
        EXPECT_EQ(handed.size(), c.helpThere ? 1u : 0u) << c.what;
    }
}

TEST_F(HelpTest, EveryRequestAppendsItsTraceLines) {
    Open(0, helpFile_, dir_ / "runtime");
    Open(2, helpFile_, dir_ / "runtime");
    ASSERT_EQ(opened_.size(), 2u);
    const std::string traced =
        "ShowHelp 0\nHelp opened " + opened_[0].toString(QUrl::FullyEncoded).toStdString() +
        "\nShowHelp 2\nHelp opened " + opened_[1].toString(QUrl::FullyEncoded).toStdString() + "\n";
    EXPECT_EQ(ReadFile(trace_), traced);

    ::unsetenv("BREVON_TRACE");
    Trace("not written");
    EXPECT_EQ(ReadFile(trace_), traced);
}

TEST(HelpFile, TheBuiltHelpHoldsBothTopicAnchors) {
    const std::string help = ReadFile(BREVON_HELP_FILE);
    ASSERT_FALSE(help.empty()) << BREVON_HELP_FILE;
    EXPECT_NE(help.find("<meta charset=\"utf-8\">"), std::string::npos);
    for (const int topic : {0, 2})
        EXPECT_NE(help.find("id=\"" + HelpAnchor(topic) + "\""), std::string::npos) << topic;
    // Self-contained: nothing is fetched from elsewhere.
    for (const char* outside : {"http:", "https:", "<script", "src=", "@import"})
        EXPECT_EQ(help.find(outside), std::string::npos) << outside;
}

} // namespace
} // namespace brevon
