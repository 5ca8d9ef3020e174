#include "PxImageICO.h"

// This format's decoder is not part of the library yet: it declines every stream, so format
// detection goes on with the next decoder.
bool PxImageICO::Decode(PxFile*)
{
    return false;
}
