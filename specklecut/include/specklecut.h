/*
 * specklecut: removes small connected regions (speckles, holes) from an image file.
 *
 * Usable from C and C++. Link with -lspecklecut (pkg-config: specklecut; CMake:
 * find_package(specklecut) and the target specklecut::specklecut).
 */
#ifndef SPECKLECUT_H
#define SPECKLECUT_H

#if defined(__GNUC__) || defined(__clang__)
#define SPECKLECUT_API __attribute__((visibility("default")))
#else
#define SPECKLECUT_API
#endif

/* Status codes returned by RemoveSmallRegion. */
#define SPECKLECUT_OK 0
/* A path is null, or eightConnected is neither 0 nor 1. */
#define SPECKLECUT_ERR_ARGUMENT 1
/* The source file is missing, unreadable, or not an image the reader can decode. */
#define SPECKLECUT_ERR_SOURCE 2
/* The target's extension names no format that can be written, or the target file
 * (its folder) cannot be written. */
#define SPECKLECUT_ERR_TARGET 3
/* Memory ran out. */
#define SPECKLECUT_ERR_MEMORY 4

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Reads sourcePath as 8-bit grey and finds the connected regions of candidate pixels:
 * with polarity 1 the pixels of value 10 and above, with any other polarity the pixels
 * of value 10 and below. Regions connect through the 4 edge neighbours (eightConnected 0)
 * or through the 8 edge and corner neighbours (eightConnected 1).
 *
 * Every region of at most sizeLimit pixels is filled: with 0 for polarity 1, otherwise
 * with the low 8 bits of 255 - 255 * polarity (255 for polarity 0). The limit is taken
 * as an unsigned 64-bit count after sign extension, so a negative limit fills every
 * region and a limit of 0 fills none. Every other pixel keeps its grey value.
 *
 * The result is written to targetPath as a one-channel grey image in the format named
 * by targetPath's extension (".png", ".bmp", ".tif", ".jpg", ...). The file is written
 * whole or not at all: it is first written beside the target under a temporary name and
 * then renamed over it, so on any failure an existing target is left unchanged and no
 * new file remains.
 *
 * Returns SPECKLECUT_OK or one of the SPECKLECUT_ERR_ codes above. The arguments are
 * checked first, then the target's format, then the source is read; the target file is
 * touched last. A null path (source or target) is SPECKLECUT_ERR_ARGUMENT. Nothing is
 * thrown and nothing is printed by the library itself (the image codecs it uses may
 * still report a corrupt file on stderr). Calls share no state and may run on several
 * threads at once.
 */
SPECKLECUT_API int RemoveSmallRegion(const char* sourcePath, const char* targetPath, int sizeLimit,
                                     int polarity, int eightConnected);

#ifdef __cplusplus
}
#endif

#endif /* SPECKLECUT_H */
