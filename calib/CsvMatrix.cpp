#include "CsvMatrix.h"

#include "ReferencePath.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
// Line buffer grown by getline, so that lines of any length are read whole.
struct LineBuffer {
    char* data = nullptr;
    size_t capacity = 0;
    LineBuffer() = default;
    LineBuffer(const LineBuffer&) = delete;
    LineBuffer& operator=(const LineBuffer&) = delete;
    ~LineBuffer() { std::free(data); }
};

// Splits `text` into `needed` fields, storing the values of fields
// firstValue onwards in `row`. Returns false when a needed field reaches the
// end of the text without a comma or line break.
bool ParseLine(char* text, int needed, int firstValue, double* row)
{
    char* field = text;
    int c = 0;
    for (int f = 0; f < needed; ++f) {
        char* end = field + std::strcspn(field, ",\n");
        if (*end == '\0') {
            return false;
        }
        *end = '\0';
        if (f >= firstValue) {
            row[c++] = std::atof(field);
        }
        field = end + 1;
    }
    return true;
}

}  // namespace

cv::Mat LoadCsvMatrix(const char* path, int rows, int cols, int firstRow, int firstCol)
{
    const std::unique_ptr<std::FILE, FileCloser> file(
        std::fopen(ResolveReferencePath(path).c_str(), "r"));
    if (!file) {
        std::printf("Can't open csv file: %s\n", path);
        return cv::Mat();
    }
    if (rows <= 0 || cols <= 0) {
        std::printf("Csv file error: %s\n", path);
        return cv::Mat();
    }
    const int headers = firstRow > 1 ? firstRow - 1 : 0;
    const int labels = firstCol > 1 ? firstCol - 1 : 0;

    cv::Mat result(rows, cols, CV_64FC1);
    LineBuffer line;
    int d = 0;
    for (long n = 0; n < static_cast<long>(rows) + headers; ++n) {
        const ssize_t length = getline(&line.data, &line.capacity, file.get());
        if (length < 0) {
            std::printf("Csv file error: %s\n", path);
            return cv::Mat();
        }
        if (n < headers) {
            continue;
        }
        // The text of a line ends at its first NUL byte, if it holds one.
        if (!ParseLine(line.data, cols + labels, labels, result.ptr<double>(d))) {
            std::printf("Csv file error: %s\n", path);
            return cv::Mat();
        }
        ++d;
    }
    return result;
}
