#include "PxImageWMF.h"

// This format's decoder is not part of the library yet: it declines every stream, so format
// detection goes on with the next decoder.
bool PxImageWMF::Decode(PxFile*, int32_t, int32_t)
{
    return false;
}
