#include "board/random.h"
