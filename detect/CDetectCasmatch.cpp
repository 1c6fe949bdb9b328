#include "CDetectCasmatch.h"

bool CDetectCasmatch::LoadTemplate()
{
    return LoadChartTemplate(kTemplatePath, kPatchCount, kAngleStep, kPatchHalfSize);
}
