// The bottom layer holding a chip record: the layering check must refuse it.
#include "chips/Chip.h"
