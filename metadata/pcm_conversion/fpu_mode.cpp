#include "metadata/pcm_conversion/fpu_mode.h"

#include <float.h>

static const unsigned int fpu_mode_mask = _MCW_RC | _MCW_DN;

fpu_mode_scope::fpu_mode_scope() : saved_(_controlfp(0, 0) & fpu_mode_mask) {
    _controlfp(_RC_NEAR | _DN_FLUSH, fpu_mode_mask);
}

fpu_mode_scope::~fpu_mode_scope() { _controlfp(saved_, fpu_mode_mask); }
