// Atoms, list nodes and BaseList2D: the host's scene-graph base classes.
#pragma once

#include "c4d_libs/lib_description.h"

class BaseDocument;
class CTrack;
class NodeData;
class AliasTrans;

namespace vh
{
struct Node;
struct Access;
} // namespace vh

#define MSG_POINTS_CHANGED 1
#define MSG_UPDATE 5
#define MSG_SMALLUPDATE 6
#define MSG_CHANGE 7
#define MSG_DESCRIPTION_INITUNDO 16
#define MSG_DESCRIPTION_CHECKUPDATE 17
#define MSG_DESCRIPTION_COMMAND 18
#define MSG_DESCRIPTION_POSTSETPARAMETER 19
#define MSG_DESCRIPTION_VALIDATE 20
#define MSG_EDIT 21
#define MSG_MENUPREPARE 22
#define MSG_DOCUMENTINFO 1001078

#define MSG_DOCUMENTINFO_TYPE_SETACTIVE 1000
#define MSG_DOCUMENTINFO_TYPE_LOAD 1001
#define MSG_DOCUMENTINFO_TYPE_MERGE 1002
#define MSG_DOCUMENTINFO_TYPE_BEFOREMERGE 1003
#define MSG_DOCUMENTINFO_TYPE_SAVE_BEFORE 1004
#define MSG_DOCUMENTINFO_TYPE_SAVE_AFTER 1005
#define MSG_DOCUMENTINFO_TYPE_REMOVE 1008
#define MSG_DOCUMENTINFO_TYPE_OBJECT_INSERT 1010
#define MSG_DOCUMENTINFO_TYPE_FLUSHCACHES 1024

struct DescriptionPostSetValue
{
	const DescID* descid;
	DescriptionPostSetValue() : descid(nullptr) {}
};

struct DocumentInfoData
{
	Int32 type = 0;
	Int32 fileformat = 0;
	BaseDocument* doc = nullptr;
	Filename filename;
	class BaseList2D* bl = nullptr;
	Bool gui_allowed = false;
	void* data = nullptr;
};

class C4DAtom
{
public:
	Int32 GetType() const;
	Bool IsInstanceOf(Int32 id) const;
	// Delivers a message to this atom only (and, for plug-in nodes, to their NodeData).
	Bool Message(Int32 type, void* data = nullptr);
	Bool GetParameter(const DescID& id, GeData& t_data, DESCFLAGS_GET flags);
	Bool SetParameter(const DescID& id, const GeData& t_data, DESCFLAGS_SET flags);
	UInt32 GetDirty(DIRTYFLAGS flags) const;
	void SetDirty(DIRTYFLAGS flags);
	Bool CopyTo(C4DAtom* dst, COPYFLAGS flags, AliasTrans* trn);

	vh::Node* _vh = nullptr;

protected:
	C4DAtom() = default;
	virtual ~C4DAtom();
	C4DAtom(const C4DAtom&) = delete;
	C4DAtom& operator=(const C4DAtom&) = delete;
	friend struct vh::Access;
};

class C4DAtomGoal : public C4DAtom
{
protected:
	C4DAtomGoal() = default;
	friend struct vh::Access;
};

class GeListNode : public C4DAtomGoal
{
public:
	// InsertUnder makes this node the first child of bl; InsertUnderLast the last.
	void InsertBefore(GeListNode* bl);
	void InsertAfter(GeListNode* bl);
	void InsertUnder(GeListNode* bl);
	void InsertUnderLast(GeListNode* bl);
	void Remove();

	GeListNode* GetNext();
	GeListNode* GetPred();
	GeListNode* GetUp();
	GeListNode* GetDown();
	GeListNode* GetDownLast();
	BaseDocument* GetDocument();
	NodeData* GetNodeData(Int32 index = 0);

protected:
	GeListNode() = default;
	friend struct vh::Access;
};

class BaseList2D : public GeListNode
{
public:
	static BaseList2D* Alloc(Int32 type);
	static void Free(BaseList2D*& bl);

	BaseContainer* GetDataInstance();
	const BaseContainer* GetDataInstance() const;
	BaseContainer& GetDataInstanceRef();
	BaseContainer GetData();
	void SetData(const BaseContainer& bc, Bool add = true);

	String GetName() const;
	void SetName(const maxon::String& name);

	CTrack* FindCTrack(const DescID& id);
	CTrack* GetFirstCTrack();

	BaseList2D* GetNext() { return static_cast<BaseList2D*>(GeListNode::GetNext()); }
	BaseList2D* GetPred() { return static_cast<BaseList2D*>(GeListNode::GetPred()); }

protected:
	BaseList2D() = default;
	friend struct vh::Access;
};

class BaseLink
{
public:
	static BaseLink* Alloc();
	static void Free(BaseLink*& link);

	// Resolves the link in doc (nullptr: in any document); instanceof filters by type, 0 = any.
	BaseList2D* GetLink(const BaseDocument* doc, Int32 instanceof = 0) const;
	BaseList2D* ForceGetLink() const;
	void SetLink(C4DAtomGoal* list);
	BaseLink* GetClone() const;

	// Host-side identity of the linked atom (0 = no link).
	Int64 _target = 0;

private:
	BaseLink() = default;
	~BaseLink() = default;
	friend struct vh::Access;
};

class AliasTrans
{
};
