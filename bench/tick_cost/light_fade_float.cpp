// The fade engine built on the float fade step kept here: this header first,
// so Light/fade_step_int.h is skipped by its include guard.
#include "fade_step_float.h"

#include "../../Light/light_fade.cpp"
