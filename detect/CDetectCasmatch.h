#pragma once

#include "CDetect.h"

// Detector of the 18-patch Casmatch chart. Only its template is loaded.
class CDetectCasmatch : public CDetect {
public:
    static constexpr const char* kTemplatePath = "data\\CasmatchTmpl.jpg";
    static constexpr int kPatchCount = 18;
    static constexpr double kAngleStep = 2.0;
    static constexpr int kPatchHalfSize = 3;

    bool LoadTemplate() override;
};
