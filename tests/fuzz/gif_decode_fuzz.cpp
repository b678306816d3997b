/* gif_decode_fuzz.cpp - fuzz target: a help picture's bytes through the GIF
 * decoder, which reads only inside them; an accepted image has every pixel
 * set from a code of its own code size. */
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "help/gifdecode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    GifPicture pic;
    int rc = GifDecode(data, size, pic);
    if (rc == GIFDEC_OK) {
        const std::size_t pixels = static_cast<std::size_t>(pic.width) * static_cast<std::size_t>(pic.height);
        for (std::size_t i = 0; i < pixels; ++i)
            if (pic.pixels[i] >> pic.code_size != 0)
                std::abort();
    } else if (rc < GIFDEC_NO_MEMORY) {
        std::abort();
    }
    return 0;
}
