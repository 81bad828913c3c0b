#pragma once

#include "c4d_baseobject.h"

class PriorityList
{
public:
	void Add(GeListNode* node, Int32 priority, EXECUTIONFLAGS flags);

	void* _state = nullptr;

private:
	PriorityList() = default;
	~PriorityList() = default;
	friend struct vh::Access;
};

class BaseDocument : public BaseList2D
{
public:
	static BaseDocument* Alloc();
	static void Free(BaseDocument*& doc);

	BaseObject* GetFirstObject();
	BaseMaterial* GetFirstMaterial();
	void InsertObject(BaseObject* op, BaseObject* parent, BaseObject* pred);
	void InsertMaterial(BaseMaterial* mat, BaseMaterial* pred = nullptr);

protected:
	BaseDocument() = default;
	friend struct vh::Access;
};

BaseDocument* GetActiveDocument();
