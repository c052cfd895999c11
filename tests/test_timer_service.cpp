#include "lamp_fixture.h"
