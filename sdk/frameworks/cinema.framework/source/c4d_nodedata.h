// The plug-in side of a node: callbacks the host calls on its NodeData.
#pragma once

#include "c4d_basedocument.h"

class BaseData
{
public:
	virtual ~BaseData() = default;
};

class NodeData : public BaseData
{
public:
	GeListNode* Get() const { return _node; }

	virtual Bool Init(GeListNode* node) { (void)node; return true; }
	virtual void Free(GeListNode* node) { (void)node; }
	virtual Bool Read(GeListNode* node, HyperFile* hf, Int32 level) { (void)node; (void)hf; (void)level; return true; }
	virtual Bool Write(GeListNode* node, HyperFile* hf) { (void)node; (void)hf; return true; }
	virtual Bool Message(GeListNode* node, Int32 type, void* data) { (void)node; (void)type; (void)data; return true; }
	virtual Bool CopyTo(NodeData* dest, GeListNode* snode, GeListNode* dnode, COPYFLAGS flags, AliasTrans* trn)
	{
		(void)dest; (void)snode; (void)dnode; (void)flags; (void)trn;
		return true;
	}
	// The LOADED flag, not the result, tells the host that a description was built.
	virtual Bool GetDDescription(GeListNode* node, Description* description, DESCFLAGS_DESC& flags)
	{
		(void)node; (void)description; (void)flags;
		return false;
	}
	virtual Bool GetDParameter(GeListNode* node, const DescID& id, GeData& t_data, DESCFLAGS_GET& flags)
	{
		(void)node; (void)id; (void)t_data; (void)flags;
		return true;
	}
	virtual Bool SetDParameter(GeListNode* node, const DescID& id, const GeData& t_data, DESCFLAGS_SET& flags)
	{
		(void)node; (void)id; (void)t_data; (void)flags;
		return true;
	}
	virtual Bool GetDEnabling(GeListNode* node, const DescID& id, const GeData& t_data, DESCFLAGS_ENABLE flags,
		const BaseContainer* itemdesc)
	{
		(void)node; (void)id; (void)t_data; (void)flags; (void)itemdesc;
		return true;
	}

	GeListNode* _node = nullptr;
};

typedef NodeData* DataAllocator(void);

#define INSTANCEOF(X, Y) \
public: \
	typedef Y SUPER; \
\
private:

#define INSTANCEOFROOT(X)
