// Arbitrary bytes as the source image of RemoveSmallRegion, with arbitrary
// arguments and target formats.
//
// Input: 4 bytes size limit, 1 byte polarity, 1 byte connectivity, 1 byte
// target format, then the source file.

#include "FuzzSupport.h"
#include "specklecut.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    QuietConsole();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 7) {
        return 0;
    }
    int32_t limit = 0;
    std::memcpy(&limit, data, 4);
    const int polarity = static_cast<int8_t>(data[4]) % 3;       // -2 to 2
    const int eightConnected = static_cast<int8_t>(data[5]) % 3; // -2 to 2
    static const char* const targets[] = {"out.png", "out.bmp", "out.tif", "out.jpg", "out.pgm", "out.nosuchformat"};
    static const std::string source = ScratchPath("source.img");
    const std::string target = ScratchPath(targets[data[6] % 6]);
    WriteScratch(source, data + 7, size - 7);

    const int rc = RemoveSmallRegion(source.c_str(), target.c_str(), limit, polarity, eightConnected);
    const bool known = rc == SPECKLECUT_OK || rc == SPECKLECUT_ERR_ARGUMENT || rc == SPECKLECUT_ERR_SOURCE ||
                       rc == SPECKLECUT_ERR_TARGET || rc == SPECKLECUT_ERR_MEMORY;
    if (!known || ((eightConnected < 0 || eightConnected > 1) && rc != SPECKLECUT_ERR_ARGUMENT)) {
        std::abort();
    }
    return 0;
}
