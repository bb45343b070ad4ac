#include "board/makemove.h"
