#include "Lab.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

std::string G6(double v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

}  // namespace

TEST(XYZToLab, WorkedExamples)
{
    struct Case {
        double x, y, z;
        const char *l, *a, *b;
    };
    const Case cases[] = {
        {92.219, 100.0, 95.965, "100", "0", "0"},
        {0.0, 0.0, 0.0, "0", "0", "0"},
        {46.1095, 50.0, 47.9825, "76.0693", "0", "0"},
        {50.0, 50.0, 50.0, "76.0693", "10.8615", "-2.19435"},
        {-1.0, -1.0, -1.0, "-9.03292", "-3.28515", "0.654833"},
    };
    for (const Case& c : cases) {
        const cv::Scalar lab = XYZToLab(cv::Scalar(c.x, c.y, c.z, 123.0));
        EXPECT_EQ(G6(lab[0]), c.l) << c.x << " " << c.y << " " << c.z;
        EXPECT_EQ(G6(lab[1]), c.a) << c.x << " " << c.y << " " << c.z;
        EXPECT_EQ(G6(lab[2]), c.b) << c.x << " " << c.y << " " << c.z;
    }
    // The white and black are exact, not merely rounded.
    EXPECT_EQ(XYZToLab(cv::Scalar(92.219, 100.0, 95.965))[0], 100.0);
    EXPECT_EQ(XYZToLab(cv::Scalar(0, 0, 0))[0], 0.0);
}

TEST(LabF, BranchesAtTheConstantThreshold)
{
    EXPECT_EQ(LabF(0.008856), 7.787 * 0.008856 + 16.0 / 116.0);
    EXPECT_DOUBLE_EQ(LabF(0.008856), 0.2068927064827586);
    // 0.8856 / 100 lands just above the threshold and takes the power branch.
    EXPECT_GT(0.8856 / 100.0, 0.008856);
    EXPECT_EQ(XYZToLab(cv::Scalar(0, 0.8856, 0))[0], 116.0 * std::pow(0.8856 / 100.0, 1.0 / 3.0) - 16.0);
    EXPECT_EQ(LabF(8.0), std::pow(8.0, 1.0 / 3.0));
}
