#include "ReferencePath.h"
#include "../support/TempDir.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

// Runs the body with the working directory set to `dir`.
class InDir {
public:
    explicit InDir(const std::filesystem::path& dir) : old_(std::filesystem::current_path())
    {
        std::filesystem::current_path(dir);
    }
    ~InDir() { std::filesystem::current_path(old_); }

private:
    std::filesystem::path old_;
};

}  // namespace

TEST(ResolveReferencePath, MapsBackslashAndCaseToExistingFiles)
{
    struct Case {
        std::vector<std::string> files;
        std::string asked;
        std::string expected;
    };
    const Case cases[] = {
        // One folder serves both spellings.
        {{"data/MeasuredMacbethXYZ.csv"}, "Data\\MeasuredMacbethXYZ.csv", "data/MeasuredMacbethXYZ.csv"},
        {{"data/MacbethTmpl_korr_v2.jpg"}, "data\\MacbethTmpl_korr_v2.jpg", "data/MacbethTmpl_korr_v2.jpg"},
        // Two folders: each spelling finds its own.
        {{"Data/a.csv", "data/a.csv"}, "Data\\a.csv", "Data/a.csv"},
        {{"Data/a.csv", "data/a.csv"}, "data\\a.csv", "data/a.csv"},
        // File names too, and the first folder that holds the file wins.
        {{"DATA/x.txt", "data/X.TXT"}, "Data\\X.txt", "DATA/x.txt"},
        {{"Data/other.csv", "data/b.csv"}, "Data\\b.csv", "data/b.csv"},
        // Missing: the path comes back as written.
        {{"data/a.csv"}, "Data\\missing.csv", "Data\\missing.csv"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        for (const std::string& f : c.files) {
            dir.Write(f, "x");
        }
        InDir in(dir.path());
        EXPECT_EQ(ResolveReferencePath(c.asked), c.expected) << c.asked;
    }
}

TEST(ResolveReferencePath, PathAsWrittenComesFirst)
{
    TempDir dir;
    dir.Write("Data\\literal.csv", "x");  // a file whose name holds a backslash
    dir.Write("Data/literal.csv", "y");
    InDir in(dir.path());
    EXPECT_EQ(ResolveReferencePath("Data\\literal.csv"), "Data\\literal.csv");
    const std::string absolute = dir / "Data/literal.csv";
    EXPECT_EQ(ResolveReferencePath(absolute), absolute);
}
