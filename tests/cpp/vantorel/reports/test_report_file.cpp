#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "vantorel/reports/report_file.hpp"

namespace {

namespace fs = std::filesystem;
using vantorel::reports::write_report_file;

class ReportFile : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("report-file-" + std::to_string(::getpid()) + "-" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(root_);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::permissions(root_, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(root_, ignored);
    }
    std::string at(const std::string& relative) const { return (root_ / relative).string(); }
    static std::string read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    // Everything in the folder, so that a leftover temporary file shows.
    std::vector<std::string> names(const std::string& relative = "") const {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(root_ / relative)) out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }
    fs::path root_;
};

TEST_F(ReportFile, CreatesMissingFoldersAndWritesTheWholeText) {
    const std::string big(20000, 'x');  // beyond any write buffer
    for (const std::string& text : {std::string(), std::string("{\"a\":1}"), big}) {
        ASSERT_EQ(write_report_file(at("out/a/b.json"), text), std::nullopt);
        EXPECT_EQ(read(at("out/a/b.json")), text);
        EXPECT_EQ(names("out/a"), std::vector<std::string>{"b.json"});
    }
}

TEST_F(ReportFile, ReplacesAnOlderReportWhole) {
    std::ofstream(at("r.html")) << std::string(5000, 'o');
    ASSERT_EQ(write_report_file(at("r.html"), "new"), std::nullopt);
    EXPECT_EQ(read(at("r.html")), "new");
    EXPECT_EQ(names(), std::vector<std::string>{"r.html"});
}

TEST_F(ReportFile, ALinkKeepsPointingAtTheReplacedReport) {
    fs::create_directories(at("real"));
    std::ofstream(at("real/r.json")) << "old";
    fs::create_symlink(at("real/r.json"), at("link.json"));
    ASSERT_EQ(write_report_file(at("link.json"), "new"), std::nullopt);
    EXPECT_TRUE(fs::is_symlink(at("link.json")));
    EXPECT_EQ(read(at("real/r.json")), "new");
    EXPECT_EQ(names("real"), std::vector<std::string>{"r.json"});
}

TEST_F(ReportFile, FailuresNameThePathAndLeaveNothingBehind) {
    std::ofstream(at("plain")) << "file";
    fs::create_directories(at("folder"));
    struct Case {
        std::string path;
        std::string expected;
    };
    const Case cases[] = {
        {"", "Failed to create file : No such file or directory (os error 2)"},
        {at("plain/child.json"), "Failed to create file " + at("plain/child.json") + ": Not a directory (os error 20)"},
        {at("folder"), "Failed to create file " + at("folder") + ": Is a directory (os error 21)"},
        {at("a") + std::string(1, '\0') + "b",
         "Failed to create file " + at("a") + std::string(1, '\0') + "b: file name contains an interior NUL byte"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(write_report_file(c.path, "text"), c.expected);
    }
    EXPECT_EQ(names(), (std::vector<std::string>{"folder", "plain"}));
    EXPECT_EQ(read(at("plain")), "file");
}

TEST_F(ReportFile, UnwritableFolderKeepsTheOlderReport) {
    if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
    std::ofstream(at("locked/r.json").c_str());
    fs::create_directories(at("locked"));
    std::ofstream(at("locked/r.json")) << "old";
    fs::permissions(at("locked"), fs::perms::owner_read | fs::perms::owner_exec);
    const auto error = write_report_file(at("locked/r.json"), "new");
    fs::permissions(at("locked"), fs::perms::owner_all);
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(*error, "Failed to create file " + at("locked/r.json") + ": Permission denied (os error 13)");
    EXPECT_EQ(read(at("locked/r.json")), "old");
}

}  // namespace
