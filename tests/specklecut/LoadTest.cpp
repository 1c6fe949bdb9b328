// Loads the installed library by path, as a caller outside the project would, and calls
// its plain C symbol. This program links nothing of specklecut.
#include "specklecut.h"

#include "../support/TempDir.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include <dlfcn.h>

namespace {

using RemoveFn = int (*)(const char*, const char*, int, int, int);
using RemoveVoidFn = void (*)(const char*, const char*, int, int, int);

// A 4 x 3 grey PGM with one bright speck at (1, 1), and the same picture cleaned.
const std::string kHeader = "P5\n4 3\n255\n";
const std::string kSpeck = kHeader + std::string("\0\0\0\0\0\xc8\0\0\0\0\0\0", 12);
const std::string kClean = kHeader + std::string(12, '\0');

TEST(LoadTest, CallsThePlainSymbolOfTheInstalledLibrary)
{
    const std::unique_ptr<void, int (*)(void*)> lib(dlopen(SPECKLECUT_STAGED_LIBRARY, RTLD_NOW | RTLD_LOCAL),
                                                    &dlclose);
    ASSERT_TRUE(lib) << dlerror();
    void* symbol = dlsym(lib.get(), "RemoveSmallRegion");
    ASSERT_NE(symbol, nullptr) << dlerror();

    TempDir dir;
    const std::string source = dir.Write("speck.pgm", kSpeck);
    const std::string target = dir / "clean.pgm";
    const auto remove = reinterpret_cast<RemoveFn>(symbol);
    EXPECT_EQ(remove(source.c_str(), target.c_str(), 1, 1, 1), SPECKLECUT_OK);
    EXPECT_EQ(ReadFile(target), kClean);
    EXPECT_EQ(remove((dir / "missing.pgm").c_str(), target.c_str(), 1, 1, 1), SPECKLECUT_ERR_SOURCE);

    // Callers that declare the function as returning nothing keep working.
    const std::string target2 = dir / "clean2.pgm";
    reinterpret_cast<RemoveVoidFn>(symbol)(source.c_str(), target2.c_str(), 1, 1, 1);
    EXPECT_EQ(ReadFile(target2), kClean);
}

}  // namespace
