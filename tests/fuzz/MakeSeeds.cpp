// Writes the seed corpora of the fuzz targets:
//   fuzz_make_seeds <corpus folder>   (writes <folder>/{csv,calibration,specklecut}/)

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

void Write(const fs::path& path, const std::string& bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string Encode(const std::string& ext, const cv::Mat& image)
{
    std::vector<uchar> bytes;
    cv::imencode(ext, image, bytes);
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace

int main(int argc, char** argv)
{
    const fs::path root = argc > 1 ? argv[1] : "tests/fuzz/corpus";

    // Tables: the first byte picks the shape.
    std::string xyz = std::string(1, '\0') + "patch,X,Y,Z\n";
    for (int k = 0; k < 24; ++k) {
        xyz += "p" + std::to_string(k) + "," + std::to_string(10.5 + k) + "," + std::to_string(20 + k) + ",3e1\r\n";
    }
    Write(root / "csv/measured-xyz", xyz);
    Write(root / "csv/small", std::string(1, '\2') + "1,2,3\n4,5,6\n");
    Write(root / "csv/labels", std::string(1, '\3') + "h\nh\na,b,c,7.5,8,9\n");
    std::string monitor = std::string(1, '\1') + "R,G,B\n";
    for (int i = 0; i < 40; ++i) {
        monitor += std::to_string(i % 17 * 16) + "," + std::to_string(i / 17 * 16) + ",0\n";
    }
    Write(root / "csv/monitor-head", monitor);

    // Chart search: a small textured template and a photograph holding it.
    cv::Mat templ(24, 32, CV_8UC3);
    for (int by = 0; by < 3; ++by) {
        for (int bx = 0; bx < 4; ++bx) {
            templ(cv::Rect(bx * 8, by * 8, 8, 8)).setTo(cv::Scalar(40 * bx + 20, 60 * by + 30, 200 - 30 * bx));
        }
    }
    cv::Mat photo(72, 96, CV_8UC3, cv::Scalar(90, 100, 110));
    templ.copyTo(photo(cv::Rect(40, 30, 32, 24)));
    for (const auto& [name, templExt, photoExt] :
         std::vector<std::tuple<std::string, std::string, std::string>>{
             {"jpg-png", ".jpg", ".png"}, {"png-jpg", ".png", ".jpg"}, {"bmp-bmp", ".bmp", ".bmp"}}) {
        const std::string t = Encode(templExt, templ);
        const std::string p = Encode(photoExt, photo);
        std::string seed;
        seed += static_cast<char>(t.size() & 0xFF);
        seed += static_cast<char>((t.size() >> 8) & 0xFF);
        Write(root / ("calibration/" + name), seed + t + p);
    }

    // Small-region removal: limit, polarity, connectivity, target format, source.
    cv::Mat mask(32, 40, CV_8UC1, cv::Scalar(0));
    cv::circle(mask, {10, 10}, 5, cv::Scalar(255), cv::FILLED);
    mask.at<uchar>(20, 30) = 255;
    mask.at<uchar>(21, 31) = 10;
    mask.at<uchar>(25, 5) = 128;
    const std::string header8 = std::string("\x05\0\0\0\x01\x01\x00", 7);
    const std::string header4 = std::string("\xff\xff\xff\xff\x00\x00\x01", 7);
    Write(root / "specklecut/png-8", header8 + Encode(".png", mask));
    Write(root / "specklecut/bmp-4", header4 + Encode(".bmp", mask));
    Write(root / "specklecut/pgm-8", header8 + Encode(".pgm", mask));
    Write(root / "specklecut/colour-jpg", header4 + Encode(".jpg", photo));
    return 0;
}
