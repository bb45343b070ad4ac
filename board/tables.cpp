#include "board/tables.h"
