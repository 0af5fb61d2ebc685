// The shipped help: every topic the windows open exists, every link between
// pages leads to a page (and anchor) that exists, and every page uses the one
// style sheet, so the help browser never shows a dead end.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

namespace fs = std::filesystem;

namespace {

const fs::path kHelp = fs::path(NOMIX_SOURCE_DIR) / "data" / "help";

std::string readFile(const fs::path &file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> matches(const std::string &text, const std::regex &pattern) {
    std::vector<std::string> found;
    for (std::sregex_iterator it(text.begin(), text.end(), pattern), end; it != end; ++it)
        found.push_back((*it)[1].str());
    return found;
}

// Every page of the help by file name, with its text.
std::map<std::string, std::string> pages() {
    std::map<std::string, std::string> all;
    for (const fs::directory_entry &entry : fs::directory_iterator(kHelp)) {
        std::string ext = entry.path().extension().string();
        if (ext == ".htm" || ext == ".html") all[entry.path().filename().string()] = readFile(entry.path());
    }
    return all;
}

TEST(Help, EveryTopicTheWindowsOpenExists) {
    const char *const topics[] = {
        "index.html",         "Overview.htm",      "Calculator.htm",  "Solve.htm",          "Integration.htm",
        "NumericFormatsPre.htm", "NumericBases.htm", "AngleModes.htm", "Options.htm",       "Graphing.htm",
        "PlotSetup.htm",      "GraphOptions.htm",  "SummationTable.htm", "UnitConverter.htm", "ConversionTable.htm",
        "Adder.htm",          "Modules.htm",       "Language.htm",    "Functions.htm",      "Scripts.htm",
        "Keys.htm",           "Sessions.htm",      "About.htm",       "ReportProblem.htm",  "format.html",
        "dates.html",         "language.html",     "functions.html",  "nomixcli.html",
    };
    auto all = pages();
    for (const char *topic : topics) EXPECT_TRUE(all.count(topic)) << topic;
    EXPECT_TRUE(fs::is_regular_file(kHelp / "nomix.css"));
}

TEST(Help, LinksLeadToPagesAndAnchorsThatExist) {
    const std::regex href(R"re(href="([^"]*)")re");
    const std::regex anchor(R"re((?:name|id)="([^"]*)")re");
    auto all = pages();
    std::map<std::string, std::set<std::string>> anchors;
    for (const auto &[name, text] : all) {
        auto found = matches(text, anchor);
        anchors[name] = {found.begin(), found.end()};
    }
    for (const auto &[name, text] : all) {
        EXPECT_NE(text.find(R"(href="nomix.css")"), std::string::npos) << name << " lacks the style sheet";
        for (const std::string &link : matches(text, href)) {
            if (link == "nomix.css") continue;
            EXPECT_EQ(link.find("://"), std::string::npos) << name << " links outside the help: " << link;
            std::string page = link.substr(0, link.find('#'));
            std::string target = page.empty() ? name : page;
            ASSERT_TRUE(all.count(target)) << name << " links to a missing page: " << link;
            if (size_t hash = link.find('#'); hash != std::string::npos) {
                EXPECT_TRUE(anchors[target].count(link.substr(hash + 1))) << name << " links to a missing anchor: " << link;
            }
        }
    }
}

} // namespace
