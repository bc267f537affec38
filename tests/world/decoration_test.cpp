#include "world/decoration.h"
