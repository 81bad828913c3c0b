#pragma once

#include "c4d_baselist.h"

class BaseMaterial : public BaseList2D
{
public:
	static BaseMaterial* Alloc(Int32 type);
	static void Free(BaseMaterial*& bl);
	BaseMaterial* GetNext() { return static_cast<BaseMaterial*>(BaseList2D::GetNext()); }

protected:
	BaseMaterial() = default;
	friend struct vh::Access;
};

// Colour of the host's standard material.
#define MATERIAL_COLOR_COLOR 2000
