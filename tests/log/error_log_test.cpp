// The log file of the network part: where it goes, what a line looks like, and what happens without a
// Documents folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "log/error_log.h"
#include "platform/documents_folder.h"

namespace tarvelmond::test {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> lines(const std::string& path) {
    std::ifstream file(path);
    std::vector<std::string> result;
    for (std::string line; std::getline(file, line);)
        result.push_back(line);
    return result;
}

class ErrorLogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        documents_ =
            (fs::temp_directory_path() / ("tarvelmond-documents-" + std::to_string(std::random_device{}())))
                .string();
        fs::create_directories(documents_);
    }
    void TearDown() override { fs::remove_all(documents_); }
    std::string documents_;
};

TEST_F(ErrorLogTest, CreatesItsFolderAndFileAndWritesStampedLines) {
    ASSERT_FALSE(fs::exists(fs::path(documents_) / "tarvelmond"));
    {
        ErrorLog log(documents_);
        EXPECT_TRUE(log.isOpen());
        log.logInfo("Port closed.");
        log.logError("Binding socket failed with error: 98");
    }
    const std::string path = ErrorLog::filePath(documents_);
    EXPECT_EQ(fs::path(path), fs::path(documents_) / "tarvelmond" / "errorlog.txt");
    const auto written = lines(path);
    ASSERT_EQ(written.size(), 2U);
    const std::regex stamped(R"(\[(INFO|ERROR)\] \[(\d{4})-(\d\d)-(\d\d) (\d\d):(\d\d):(\d\d)\] (.*))");
    std::smatch match;
    ASSERT_TRUE(std::regex_match(written[0], match, stamped)) << written[0];
    EXPECT_EQ(match[1], "INFO");
    EXPECT_EQ(match[8], "Port closed.");
    // Local time of day, zero padded, 24-hour clock.
    const std::tm now = platform::localTime(std::time(nullptr));
    EXPECT_EQ(std::stoi(match[2]), now.tm_year + 1900);
    EXPECT_NEAR(std::stoi(match[5]) * 60 + std::stoi(match[6]), now.tm_hour * 60 + now.tm_min, 1.0);
    ASSERT_TRUE(std::regex_match(written[1], match, stamped)) << written[1];
    EXPECT_EQ(match[1], "ERROR");
    EXPECT_EQ(match[8], "Binding socket failed with error: 98");
}

TEST_F(ErrorLogTest, AppendsToAnExistingFileAndInstancesNeverSplitLines) {
    { ErrorLog(documents_).logInfo("old line"); }
    {
        ErrorLog first(documents_);
        ErrorLog second(documents_);
        std::vector<std::thread> writers;
        for (ErrorLog* log : {&first, &second}) {
            for (int t = 0; t < 2; ++t) {
                writers.emplace_back([log, t] {
                    for (int i = 0; i < 200; ++i)
                        log->logInfo("writer " + std::to_string(t) + " line " + std::to_string(i) + " " +
                                     std::string(60, 'x'));
                });
            }
        }
        for (auto& writer : writers)
            writer.join();
    }
    const auto written = lines(ErrorLog::filePath(documents_));
    ASSERT_EQ(written.size(), 801U);
    EXPECT_NE(written[0].find("] old line"), std::string::npos);
    const std::regex whole(R"(\[INFO\] \[[-0-9: ]{19}\] writer [01] line \d+ x{60})");
    for (std::size_t i = 1; i < written.size(); ++i)
        ASSERT_TRUE(std::regex_match(written[i], whole)) << written[i];
}

TEST_F(ErrorLogTest, WithoutADocumentsFolderEveryLineIsReportedOnStandardError) {
    testing::internal::CaptureStderr();
    {
        ErrorLog log("");
        EXPECT_FALSE(log.isOpen());
        log.logInfo("a");
        log.logError("b");
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Failed to retrieve the Documents path\nLog failed: Unable to write to log file.\n"
              "Log failed: Unable to write to log file.\n");

    // A Documents path that names a file: the folder cannot be made, the file cannot be opened.
    const std::string notAFolder = (fs::path(documents_) / "plain-file").string();
    std::ofstream(notAFolder) << "x";
    testing::internal::CaptureStderr();
    { ErrorLog(notAFolder).logInfo("c"); }
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Failed to open log file\nLog failed: Unable to write to log file.\n");
}

TEST(DocumentsFolder, IsFoundForTheCurrentUser) {
    const std::string folder = platform::documentsFolder();
    ASSERT_FALSE(folder.empty());
    if (const char* configured = std::getenv("XDG_DOCUMENTS_DIR");
        configured != nullptr && *configured != '\0') {
        EXPECT_EQ(folder, configured);
    }
    ErrorLog log;  // the default instance writes there
    log.logInfo("documents folder check");
    EXPECT_TRUE(fs::exists(ErrorLog::filePath(folder)));
}

}  // namespace
}  // namespace tarvelmond::test
