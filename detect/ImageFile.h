#pragma once

#include <opencv2/core.hpp>

#include <string>

// Reads an image file as 8-bit B, G, R for the program.
//
// Unlike a bare decode, a file that the decoder only partly understands is
// refused rather than returned with made-up pixels: a JPEG cut short (no
// end-of-image marker after its last scan) or one whose decoder reports
// damaged data. What the decoders print while they work is kept off the
// console. `flags` are cv::imread flags.
//
// On failure the result is empty and `problem` says why in a few words
// ("No such file or directory", "the file is empty", "not an image file the
// program can read", "the file is damaged (Premature end of JPEG file)").
cv::Mat ReadImageFile(const std::string& path, int flags, std::string* problem = nullptr);
