#include "board/notation.h"
