/* Writes a 4x3 grey PGM with one bright speck, removes it and checks the result. */
#include <specklecut.h>

#include <stdio.h>
#include <string.h>

int main(int argc, char** argv)
{
    static const unsigned char pixels[12] = {0, 0, 0, 0, 0, 200, 0, 0, 0, 0, 0, 0};
    char source[4096];
    char target[4096];
    unsigned char out[12];
    char header[32];
    FILE* f;
    int status;

    if (argc != 2) {
        fprintf(stderr, "usage: consumer FOLDER\n");
        return 2;
    }
    snprintf(source, sizeof source, "%s/speck.pgm", argv[1]);
    snprintf(target, sizeof target, "%s/clean.pgm", argv[1]);
    f = fopen(source, "wb");
    if (!f) {
        fprintf(stderr, "cannot write %s\n", source);
        return 2;
    }
    fputs("P5\n4 3\n255\n", f);
    fwrite(pixels, 1, sizeof pixels, f);
    fclose(f);

    status = RemoveSmallRegion(source, target, 1, 1, 1);
    if (status != SPECKLECUT_OK) {
        fprintf(stderr, "RemoveSmallRegion returned %d\n", status);
        return 1;
    }
    f = fopen(target, "rb");
    if (!f || !fgets(header, sizeof header, f) || strcmp(header, "P5\n") != 0 || !fgets(header, sizeof header, f) ||
        !fgets(header, sizeof header, f) || fread(out, 1, sizeof out, f) != sizeof out) {
        fprintf(stderr, "%s is not the expected grey PGM\n", target);
        return 1;
    }
    fclose(f);
    for (int i = 0; i < 12; ++i) {
        if (out[i] != 0) {
            fprintf(stderr, "pixel %d of %s is %d, expected 0\n", i, target, out[i]);
            return 1;
        }
    }
    printf("ok\n");
    return 0;
}
