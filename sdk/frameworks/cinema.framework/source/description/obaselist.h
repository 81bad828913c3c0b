#pragma once
enum
{
	ID_BASELIST_NAME = 900
};
