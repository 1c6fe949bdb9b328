// Arbitrary bytes as a table file, read in every shape the program reads.

#include "CsvMatrix.h"
#include "FuzzSupport.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    QuietConsole();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    struct Shape {
        int rows, cols, firstRow, firstCol;
    };
    // The measured XYZ table, the monitor tables, and two small shapes.
    static const Shape shapes[] = {{24, 3, 2, 2}, {4913, 3, 2, 1}, {2, 3, 1, 1}, {1, 2, 3, 4}};
    if (size == 0) {
        return 0;
    }
    const Shape& s = shapes[data[0] % 4];
    static const std::string path = ScratchPath("table.csv");
    WriteScratch(path, data + 1, size - 1);
    const cv::Mat m = LoadCsvMatrix(path.c_str(), s.rows, s.cols, s.firstRow, s.firstCol);
    if (!m.empty()) {
        if (m.rows != s.rows || m.cols != s.cols || m.type() != CV_64FC1) {
            std::abort();
        }
        volatile double sum = cv::sum(m)[0];
        (void)sum;
    }
    return 0;
}
