#pragma once

#include "c4d_general.h"

inline void MessageDialog(const maxon::String& str)
{
	GeOutString(str, GEMB::OK | GEMB::ICONEXCLAMATION);
}

inline Bool QuestionDialog(const maxon::String& str)
{
	return GeOutString(str, GEMB::YESNO | GEMB::ICONQUESTION) == GEMB_R::V_YES;
}
