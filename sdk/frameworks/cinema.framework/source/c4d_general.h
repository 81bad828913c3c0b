#pragma once

#include "c4d_string.h"

GEMB_R GeOutString(const maxon::String& str, GEMB flags);

class BaseThread
{
public:
	Bool TestBreak() { return false; }
};
