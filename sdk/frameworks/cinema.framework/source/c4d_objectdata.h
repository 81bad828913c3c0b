// ObjectData: callbacks of object plug-ins (generators, execution pass).
#pragma once

#include "c4d_nodedata.h"

class BaseThread;

class ObjectData : public NodeData
{
	INSTANCEOF(ObjectData, NodeData)

public:
	virtual Bool AddToExecution(BaseObject* op, PriorityList* list) { (void)op; (void)list; return false; }
	virtual EXECUTIONRESULT Execute(BaseObject* op, BaseDocument* doc, BaseThread* bt, Int32 priority, EXECUTIONFLAGS flags)
	{
		(void)op; (void)doc; (void)bt; (void)priority; (void)flags;
		return EXECUTIONRESULT::OK;
	}
	virtual BaseObject* GetVirtualObjects(BaseObject* op, HierarchyHelp* hh) { (void)op; (void)hh; return nullptr; }
};

class BaseBitmap;

Bool RegisterObjectPlugin(Int32 id, const maxon::String& str, Int32 info, DataAllocator* g,
	const maxon::String& description, BaseBitmap* icon, Int32 disklevel);
