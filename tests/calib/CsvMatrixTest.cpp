#include "CsvMatrix.h"
#include "../support/TempDir.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct CsvCase {
    const char* name;
    std::string content;
    int rows, cols, firstRow, firstCol;
    std::vector<double> expected;  // empty: the read must fail
};

// Loads `content` through a file, returning the matrix and what was printed.
cv::Mat Load(const TempDir& dir, const CsvCase& c, std::string& printed)
{
    const std::string path = dir.Write(std::string(c.name) + ".csv", c.content);
    testing::internal::CaptureStdout();
    cv::Mat m = LoadCsvMatrix(path.c_str(), c.rows, c.cols, c.firstRow, c.firstCol);
    printed = testing::internal::GetCapturedStdout();
    return m;
}

}  // namespace

TEST(LoadCsvMatrix, ReadsAndRejectsAsSpecified)
{
    const std::string longLabel(3000, 'L');
    const std::string longHeader(5000, 'H');
    const CsvCase cases[] = {
        {"plain", "h\n1,2,3\n4,5,6\n", 2, 3, 2, 1, {1, 2, 3, 4, 5, 6}},
        {"crlf", "h\r\n1,2,3\r\n4,5,6\r\n", 2, 3, 2, 1, {1, 2, 3, 4, 5, 6}},
        {"label", "X,Y,Z\nA1,0.5,1e2,-3\n", 1, 3, 2, 2, {0.5, 100, -3}},
        {"header_any", "a,b,,c,,,\n7,8\n", 1, 2, 2, 1, {7, 8}},
        {"no_header", "7,8\n", 1, 2, 1, 1, {7, 8}},
        {"extra_fields_and_lines", "h\n1,2,3,4,5\n6,7,8\n9,9,9\n", 2, 2, 2, 1, {1, 2, 6, 7}},
        {"letters_and_empty", "h\nabc,,  4.5xyz\n", 1, 3, 2, 1, {0, 0, 4.5}},
        {"last_line_extra_field", "h\n1,2,3,", 1, 3, 2, 1, {1, 2, 3}},
        {"long_label", "h\n" + longLabel + ",1,2,3\n4\n", 1, 3, 2, 2, {1, 2, 3}},
        {"long_header", longHeader + "\n1,2\n3,4\n", 2, 2, 2, 1, {1, 2, 3, 4}},
        {"last_line_no_break", "h\n1,2,3", 1, 3, 2, 1, {}},
        {"too_few_fields", "h\n1,2\n", 1, 3, 2, 1, {}},
        {"too_few_lines", "h\n1,2,3\n", 2, 3, 2, 1, {}},
        {"empty", "", 1, 3, 2, 1, {}},
        {"header_only", "h\n", 1, 3, 2, 1, {}},
        {"nul_ends_text", std::string("h\n1,2\0,3\n", 9), 1, 3, 2, 1, {}},
    };
    TempDir dir;
    for (const CsvCase& c : cases) {
        std::string printed;
        const cv::Mat m = Load(dir, c, printed);
        const std::string path = dir / (std::string(c.name) + ".csv");
        if (c.expected.empty()) {
            EXPECT_TRUE(m.empty()) << c.name;
            EXPECT_EQ(printed, "Csv file error: " + path + "\n") << c.name;
            continue;
        }
        ASSERT_FALSE(m.empty()) << c.name << ": " << printed;
        EXPECT_EQ(printed, "") << c.name;
        ASSERT_EQ(m.type(), CV_64FC1);
        ASSERT_EQ(m.rows, c.rows) << c.name;
        ASSERT_EQ(m.cols, c.cols) << c.name;
        for (int i = 0; i < c.rows * c.cols; ++i) {
            EXPECT_EQ(m.at<double>(i / c.cols, i % c.cols), c.expected[i]) << c.name << " element " << i;
        }
    }
}

TEST(LoadCsvMatrix, LongLineDoesNotShiftLaterRows)
{
    // A data line far beyond 1023 characters, then ordinary lines.
    std::string line;
    for (int i = 0; i < 400; ++i) {
        line += std::to_string(i) + ".25,";
    }
    const std::string content = "h\n" + line + "\n10,11,12\n";
    TempDir dir;
    const std::string path = dir.Write("long.csv", content);
    testing::internal::CaptureStdout();
    const cv::Mat m = LoadCsvMatrix(path.c_str(), 2, 3, 2, 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    ASSERT_FALSE(m.empty());
    const cv::Mat expected = (cv::Mat_<double>(2, 3) << 0.25, 1.25, 2.25, 10, 11, 12);
    EXPECT_EQ(cv::norm(m, expected, cv::NORM_INF), 0.0);
}

TEST(LoadCsvMatrix, MissingFileIsReportedWithThePathAsGiven)
{
    testing::internal::CaptureStdout();
    const cv::Mat m = LoadCsvMatrix("Data\\NoSuchTable.csv", 24, 3, 2, 2);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Can't open csv file: Data\\NoSuchTable.csv\n");
    EXPECT_TRUE(m.empty());
}
