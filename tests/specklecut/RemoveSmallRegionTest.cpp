#include "specklecut.h"

#include "../support/TempDir.h"

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

extern "C" int CallRemoveSmallRegionFromC(const char* source, const char* target, int sizeLimit, int polarity,
                                          int eightConnected);

namespace {

namespace fs = std::filesystem;

cv::Mat Grey(std::initializer_list<std::initializer_list<int>> rows)
{
    cv::Mat m(static_cast<int>(rows.size()), static_cast<int>(rows.begin()->size()), CV_8UC1);
    int y = 0;
    for (const auto& row : rows) {
        int x = 0;
        for (int v : row) {
            m.at<std::uint8_t>(y, x++) = static_cast<std::uint8_t>(v);
        }
        ++y;
    }
    return m;
}

std::string Show(const cv::Mat& m)
{
    std::ostringstream s;
    s << cv::format(m, cv::Formatter::FMT_NUMPY);
    return s.str();
}

std::set<std::string> Listing(const fs::path& dir)
{
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) {
        names.insert(e.path().filename().string());
    }
    return names;
}

struct Case {
    const char* what;
    cv::Mat source;
    int sizeLimit;
    int polarity;
    int eightConnected;
    cv::Mat expected;
};

std::vector<Case> Cases()
{
    const cv::Mat mixed = Grey({{0, 200, 10, 9}, {255, 11, 0, 128}});
    const cv::Mat threshold = Grey({{0, 9, 10, 11, 255}, {10, 10, 200, 3, 9}});
    const cv::Mat diagonal = Grey({{255, 0}, {0, 255}});
    return {
        {"limit 0 keeps every pixel (polarity 1)", mixed, 0, 1, 1, mixed},
        {"limit 0 keeps every pixel (polarity 0)", mixed, 0, 0, 0, mixed},
        {"a region of exactly the limit is filled, one of a pixel more is not",
         Grey({{255, 255, 255, 0, 0, 0}, {0, 0, 0, 0, 0, 0}, {60, 60, 0, 0, 90, 0}, {60, 60, 0, 0, 0, 0}}), 3, 1, 0,
         Grey({{0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0}, {60, 60, 0, 0, 0, 0}, {60, 60, 0, 0, 0, 0}})},
        {"a negative limit fills every pixel from 10 up (polarity 1)", threshold, -1, 1, 1,
         Grey({{0, 9, 0, 0, 0}, {0, 0, 0, 3, 9}})},
        {"a negative limit fills every pixel up to 10 (polarity 0)", threshold, -1, 0, 0,
         Grey({{255, 255, 255, 11, 255}, {255, 255, 200, 255, 255}})},
        {"10 is bright, 9 is not (polarity 1)", Grey({{9, 0, 10, 0, 11, 0, 255}}), 1, 1, 0,
         Grey({{9, 0, 0, 0, 0, 0, 0}})},
        {"10 is dark, 11 is not (polarity 0)", Grey({{9, 200, 10, 200, 11, 200, 0}}), 1, 0, 0,
         Grey({{255, 200, 255, 200, 11, 200, 255}})},
        {"corner neighbours are apart with 4-connectivity", diagonal, 1, 1, 0, Grey({{0, 0}, {0, 0}})},
        {"corner neighbours join with 8-connectivity", diagonal, 1, 1, 1, diagonal},
        {"the last column does not touch the first column of the next row", Grey({{0, 0, 0, 255}, {255, 0, 0, 0}}),
         1, 1, 1, Grey({{0, 0, 0, 0}, {0, 0, 0, 0}})},
        {"regions on the border count like any other",
         Grey({{255, 255, 0, 0, 0}, {255, 0, 0, 0, 70}, {0, 0, 0, 70, 70}, {0, 0, 0, 0, 70}}), 3, 1, 0,
         Grey({{0, 0, 0, 0, 0}, {0, 0, 0, 0, 70}, {0, 0, 0, 70, 70}, {0, 0, 0, 0, 70}})},
        {"grey values pass through unchanged", Grey({{12, 40, 90, 5}, {12, 40, 90, 0}, {0, 7, 0, 33}}), 1, 1, 0,
         Grey({{12, 40, 90, 5}, {12, 40, 90, 0}, {0, 7, 0, 0}})},
        {"polarity 2 fills with 1", Grey({{200, 5, 200}, {200, 200, 200}}), 1, 2, 0,
         Grey({{200, 1, 200}, {200, 200, 200}})},
        {"polarity -1 fills with 254", Grey({{200, 5, 200}, {200, 200, 200}}), 1, -1, 0,
         Grey({{200, 254, 200}, {200, 200, 200}})},
    };
}

// Every case goes through a PNG file and the C entry point (called from C code).
TEST(RemoveSmallRegion, FillsTheSmallRegionsOfAPngFile)
{
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string source = dir / "in.png";
        const std::string target = dir / "out.png";
        ASSERT_TRUE(cv::imwrite(source, c.source));
        ASSERT_EQ(CallRemoveSmallRegionFromC(source.c_str(), target.c_str(), c.sizeLimit, c.polarity,
                                             c.eightConnected),
                  SPECKLECUT_OK);
        const cv::Mat got = cv::imread(target, cv::IMREAD_UNCHANGED);
        ASSERT_EQ(got.type(), CV_8UC1);
        EXPECT_EQ(cv::norm(got, c.expected, cv::NORM_INF), 0.0)
            << "got\n" << Show(got) << "\nexpected\n" << Show(c.expected);
    }
}

TEST(RemoveSmallRegion, ColourSourceGivesGreyOutput)
{
    TempDir dir;
    cv::Mat colour(6, 7, CV_8UC3);
    cv::randu(colour, 0, 256);
    colour.at<cv::Vec3b>(2, 3) = {0, 0, 0};
    const std::string source = dir / "colour.png";
    ASSERT_TRUE(cv::imwrite(source, colour));
    const cv::Mat grey = cv::imread(source, cv::IMREAD_GRAYSCALE);

    const std::string target = dir / "grey.png";
    ASSERT_EQ(RemoveSmallRegion(source.c_str(), target.c_str(), 0, 1, 1), SPECKLECUT_OK);
    const cv::Mat got = cv::imread(target, cv::IMREAD_UNCHANGED);
    ASSERT_EQ(got.type(), CV_8UC1);
    EXPECT_EQ(cv::norm(got, grey, cv::NORM_INF), 0.0);
}

// The format follows the target's extension, and the bytes are those the image library
// writes for the same picture.
TEST(RemoveSmallRegion, WritesTheFormatOfTheTargetExtension)
{
    TempDir dir;
    const cv::Mat source = Grey({{0, 255, 0, 0}, {0, 0, 0, 120}, {130, 0, 0, 120}});
    const cv::Mat expected = Grey({{0, 0, 0, 0}, {0, 0, 0, 120}, {0, 0, 0, 120}});
    ASSERT_TRUE(cv::imwrite(dir / "in.png", source));
    for (const std::string ext : {".png", ".bmp", ".tif", ".pgm", ".jpg", ".PNG"}) {
        SCOPED_TRACE(ext);
        const std::string target = dir / ("out" + ext);
        const std::string reference = dir / ("reference" + ext);
        ASSERT_TRUE(cv::imwrite(reference, expected));
        ASSERT_EQ(RemoveSmallRegion((dir / "in.png").c_str(), target.c_str(), 1, 1, 0), SPECKLECUT_OK);
        EXPECT_EQ(ReadFile(target), ReadFile(reference));
    }
}

TEST(RemoveSmallRegion, ReplacesAnExistingTargetKeepingItsModeAndLinks)
{
    TempDir dir;
    const cv::Mat source = Grey({{0, 255}, {0, 0}});
    const cv::Mat expected = Grey({{0, 0}, {0, 0}});
    const std::string in = dir / "in.png";
    ASSERT_TRUE(cv::imwrite(in, source));

    const std::string target = dir.Write("old.png", "earlier content");
    ASSERT_EQ(::chmod(target.c_str(), 0604), 0);
    ASSERT_EQ(RemoveSmallRegion(in.c_str(), target.c_str(), 1, 1, 0), SPECKLECUT_OK);
    EXPECT_EQ(cv::norm(cv::imread(target, cv::IMREAD_UNCHANGED), expected, cv::NORM_INF), 0.0);
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0604u);

    // Through a symbolic link, the linked file is replaced and the link stays.
    const std::string real = dir.Write("real.png", "earlier content");
    const std::string link = dir / "link.png";
    fs::create_symlink("real.png", link);
    ASSERT_EQ(RemoveSmallRegion(in.c_str(), link.c_str(), 1, 1, 0), SPECKLECUT_OK);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(cv::norm(cv::imread(real, cv::IMREAD_UNCHANGED), expected, cv::NORM_INF), 0.0);

    // Source and target may be the same file.
    ASSERT_EQ(RemoveSmallRegion(in.c_str(), in.c_str(), 1, 1, 0), SPECKLECUT_OK);
    EXPECT_EQ(cv::norm(cv::imread(in, cv::IMREAD_UNCHANGED), expected, cv::NORM_INF), 0.0);

    EXPECT_EQ(Listing(dir.path()), (std::set<std::string>{"in.png", "old.png", "real.png", "link.png"}));
}

struct Failure {
    const char* what;
    const char* source;  // in the test folder; nullptr for a null pointer
    const char* target;  // likewise
    int eightConnected;
    int status;
};

// Each failure has its status, writes no file and leaves an existing target unchanged.
TEST(RemoveSmallRegion, FailuresReportTheirStatusAndWriteNothing)
{
    const Failure failures[] = {
        {"null source", nullptr, "old.png", 1, SPECKLECUT_ERR_ARGUMENT},
        {"null target", "in.png", nullptr, 1, SPECKLECUT_ERR_ARGUMENT},
        {"eightConnected 2", "in.png", "old.png", 2, SPECKLECUT_ERR_ARGUMENT},
        {"eightConnected -1", "in.png", "old.png", -1, SPECKLECUT_ERR_ARGUMENT},
        {"missing source", "missing.png", "old.png", 1, SPECKLECUT_ERR_SOURCE},
        {"missing source, new target", "missing.png", "new.png", 1, SPECKLECUT_ERR_SOURCE},
        {"empty source path", "", "old.png", 1, SPECKLECUT_ERR_SOURCE},
        {"empty source file", "empty.png", "old.png", 1, SPECKLECUT_ERR_SOURCE},
        {"source is not an image", "garbage.png", "old.png", 1, SPECKLECUT_ERR_SOURCE},
        {"source is a folder", "folder.png", "old.png", 1, SPECKLECUT_ERR_SOURCE},
        {"unknown target format", "in.png", "old.xyz", 1, SPECKLECUT_ERR_TARGET},
        {"target without extension", "in.png", "noextension", 1, SPECKLECUT_ERR_TARGET},
        {"empty target path", "in.png", "", 1, SPECKLECUT_ERR_TARGET},
        {"target folder missing", "in.png", "missing/out.png", 1, SPECKLECUT_ERR_TARGET},
        {"target is a folder", "in.png", "folder.png", 1, SPECKLECUT_ERR_TARGET},
    };
    for (const Failure& f : failures) {
        SCOPED_TRACE(f.what);
        TempDir dir;
        ASSERT_TRUE(cv::imwrite(dir / "in.png", Grey({{0, 255}, {0, 0}})));
        dir.Write("empty.png", "");
        dir.Write("garbage.png", "this is no image");
        dir.Write("old.png", "earlier content");
        dir.Write("old.xyz", "earlier content");
        fs::create_directory(dir.path() / "folder.png");
        const std::set<std::string> before = Listing(dir.path());

        auto inDir = [&dir](const char* name) { return name == nullptr || *name == '\0' ? std::string() : dir / name; };
        const std::string source = inDir(f.source);
        const std::string target = inDir(f.target);
        const int status = RemoveSmallRegion(f.source ? source.c_str() : nullptr,
                                             f.target ? target.c_str() : nullptr, 1, 1, f.eightConnected);
        EXPECT_EQ(status, f.status);
        EXPECT_EQ(Listing(dir.path()), before);
        EXPECT_EQ(ReadFile(dir / "old.png"), "earlier content");
        EXPECT_EQ(ReadFile(dir / "old.xyz"), "earlier content");
        EXPECT_TRUE(fs::is_empty(dir.path() / "folder.png"));
    }
}

// Runs in a child process. A 4000 x 4000 checkerboard read with 4-connectivity makes
// every bright pixel a region of its own: 8 million regions need 32 MB of bookkeeping
// on top of the 16 MB image, more than the address space left.
[[noreturn]] void CallWithLittleMemory()
{
    int code = 0;
    {
        TempDir dir;
        const std::string source = dir / "board.png";
        const std::string target = dir / "out.png";
        {
            cv::Mat board(4000, 4000, CV_8UC1);
            for (int y = 0; y < board.rows; ++y) {
                for (int x = 0; x < board.cols; ++x) {
                    board.at<std::uint8_t>(y, x) = (x + y) % 2 == 0 ? 255 : 0;
                }
            }
            if (!cv::imwrite(source, board)) {
                std::_Exit(90);
            }
        }
        long pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        rlimit old{};
        getrlimit(RLIMIT_AS, &old);
        rlimit tight = old;
        tight.rlim_cur = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (40u << 20);
        if (pages == 0 || setrlimit(RLIMIT_AS, &tight) != 0) {
            std::_Exit(91);
        }
        const int status = RemoveSmallRegion(source.c_str(), target.c_str(), 5, 1, 0);
        setrlimit(RLIMIT_AS, &old);
        const bool written = fs::exists(target);
        code = status == SPECKLECUT_ERR_MEMORY && !written ? 0 : 10 + status + (written ? 50 : 0);
    }
    std::_Exit(code);
}

TEST(RemoveSmallRegionDeathTest, RunningOutOfMemoryIsReported)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer needs an unlimited address space";
#endif
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(CallWithLittleMemory(), testing::ExitedWithCode(0), "");
}

}  // namespace
