#include "board/attacks.h"
