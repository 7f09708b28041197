#include "upper/y.h"
