#pragma once

#include "c4d_basematerial.h"

class BaseObject;

class BaseTag : public BaseList2D
{
public:
	static BaseTag* Alloc(Int32 type);
	static void Free(BaseTag*& bl);
	BaseTag* GetNext();
	BaseTag* GetPred();
	BaseObject* GetObject();

protected:
	BaseTag() = default;
	friend struct vh::Access;
};

class TextureTag : public BaseTag
{
public:
	static TextureTag* Alloc();
	static void Free(TextureTag*& bl);
	BaseMaterial* GetMaterial(Bool ignoredoc = false);
	void SetMaterial(BaseMaterial* mat);

protected:
	TextureTag() = default;
	friend struct vh::Access;
};
