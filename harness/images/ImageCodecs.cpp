// The implementations of the header-only image codecs the portable image
// files use (cmake/ImageCodecs.cmake): stb_image and tinyexr, compiled here
// once, on their own and without this project's warnings.
#include <cstddef>

#include <zlib.h>

// The largest width and height stb_image takes from a header (its default
// is 2^24). The harness refuses pictures beyond kMaxImageSide (Images.h) with
// its own message; this keeps absurd sizes out of the codec's arithmetic.
#define STBI_MAX_DIMENSIONS 65536
#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

// tinyexr compresses with zlib (the header's default, TINYEXR_USE_MINIZ 0),
// single-threaded.
#define TINYEXR_USE_THREAD 0
#define TINYEXR_USE_OPENMP 0
#define TINYEXR_IMPLEMENTATION
#include <tinyexr.h>
