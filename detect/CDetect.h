#pragma once

#include <opencv2/core.hpp>

#include <vector>

// Base of the colour-chart detectors. A detector holds a photograph, the
// chart's template image, the chart's parameters and the centres of its
// patches. It finds the chart by matching the template at rotations of
// `angleStep` degrees and measures the mean colour of every patch.
//
// The photograph may carry a region of interest (`SetInputRoi`): the search
// covers only that region, and positions are reported in whole-image
// coordinates.
class CDetect {
public:
    CDetect() = default;
    virtual ~CDetect() = default;

    CDetect(const CDetect&) = delete;
    CDetect& operator=(const CDetect&) = delete;

    // Reads the class's template file and sets its chart parameters.
    virtual bool LoadTemplate() = 0;

    // Reads `path` as an 8-bit, 3-channel B, G, R image into the template.
    // Prints "Can't open template file." on standard error on failure.
    bool ReadTemplateImage(const char* path);
    // Reads the photograph; prints "Reading : <path>" on standard output in
    // any case and "Can't open input file for detection." on standard error
    // when the file cannot be read. Clears the region of interest.
    bool LoadInputImage(const char* path);
    // Uses an image already in memory as the photograph (8-bit, 3 channels).
    void SetInputImage(const cv::Mat& image);

    // Finds the angle (multiples of angleStep) and the position of the
    // template's centre at which the template matches the photograph best
    // (lowest normalised squared difference; of equal scores the first
    // reported one stays). Prints one "Matching Angle ..." line on standard
    // output. Returns false, with a message on standard error, when no
    // template or photograph is loaded, when the search area is smaller than
    // the template, or when no angle is tried.
    bool FindRotatedTemplate(cv::Point* pos, double* angle);

    // Measures the mean B, G, R of every patch square (clipped to the
    // photograph) into a new patchCount x 3 CV_32FC1 matrix; a patch whose
    // square has neither corner inside the photograph gives -1.0 three times.
    // Needs the patch centres of a detection. Clears the region of interest.
    bool MeasurePatches(cv::Mat& samples);

    void SetInputRoi(const cv::Rect& roi);
    void ResetInputRoi();
    bool HasInputRoi() const { return hasRoi; }
    const cv::Rect& InputRoi() const { return inputRoi; }

    const cv::Mat& InputImage() const { return inputImage; }
    const cv::Mat& TemplateImage() const { return templateImage; }
    const std::vector<cv::Point>& PatchCenters() const { return patchCenters; }
    double AngleStep() const { return angleStep; }
    int PatchCount() const { return patchCount; }
    int PatchHalfSize() const { return patchHalfSize; }

protected:
    // Shared body of LoadTemplate: reads the template, then sets the chart
    // parameters and a fresh table of patchCount centres.
    bool LoadChartTemplate(const char* path, int count, double step, int halfSize);

    cv::Mat inputImage;
    cv::Rect inputRoi;
    bool hasRoi = false;
    cv::Mat templateImage;
    std::vector<cv::Point> patchCenters;
    bool patchesLaidOut = false;  // set by a detection, read by MeasurePatches

    double angleStep = 0.0;
    int patchCount = 0;
    int patchHalfSize = 0;
};
