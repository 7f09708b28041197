#include "lower/x.h"
