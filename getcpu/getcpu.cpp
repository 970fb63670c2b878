#include "getcpu.h"
