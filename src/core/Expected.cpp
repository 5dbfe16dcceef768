#include "core/Expected.h"
