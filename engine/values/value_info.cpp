#include "engine/values/value_info.h"
