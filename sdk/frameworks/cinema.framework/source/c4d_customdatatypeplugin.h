#pragma once
#include "c4d_libs/lib_description.h"
