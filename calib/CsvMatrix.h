#pragma once

#include <opencv2/core.hpp>

// Reads a table of known shape from a comma-separated text file into a new
// rows x cols CV_64FC1 matrix.
//
// Lines 1 to firstRow - 1 are headers and are skipped; the next `rows` lines
// are data. On each data line fields 1 to firstCol - 1 are labels and are
// skipped; the next `cols` fields are the values, each converted as atof
// does (a field without a leading number gives 0.0). Every field up to the
// last value must end with a comma or the line break. Lines of any length are
// read whole.
//
// On failure an empty matrix is returned after one of these lines on
// standard output: "Can't open csv file: <path>" when the file cannot be
// opened, "Csv file error: <path>" when a needed line or field is missing.
// The path is quoted as given; the file opened is the one that
// ResolveReferencePath finds for it.
cv::Mat LoadCsvMatrix(const char* path, int rows, int cols, int firstRow, int firstCol);
