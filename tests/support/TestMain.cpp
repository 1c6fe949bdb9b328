#include <gtest/gtest.h>
#include <opencv2/core/utils/logger.hpp>

// Test entry point: OpenCV's own log lines stay out of the streams that the
// tests inspect, as they stay out of the program's.
int main(int argc, char** argv)
{
    cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
