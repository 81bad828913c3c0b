// A small object plug-in that records what the host does with it, for the scene tests.
#pragma once

#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "internal.h"

namespace scene_test
{
// Plug-in ids made up for the tests.
constexpr Int32 ID_PROBE = 1999001; // generator, execution pass
constexpr Int32 ID_PLAIN = 1999002; // no flags
constexpr Int32 ID_NOALLOC = 1999003; // allocator always fails
constexpr Int32 ID_PROBE_LEVEL = 7; // disk level of ID_PROBE

// Container ids the probe uses.
constexpr Int32 PROBE_VALUE = 1000; // written by Init
constexpr Int32 PROBE_PRIORITY = 1001; // priority AddToExecution asks for

// What every probe instance reports; reset by ProbeTest::SetUp.
struct ProbeLog
{
	std::vector<std::string> calls; // "Init", "Free", "CopyTo", "Read", "Write", "Execute:NAME", "GVO:NAME", "Msg:TYPE"
	Int32 destroyed = 0;
	Bool initResult = true;
	Bool copyToResult = true;
	Bool writeResult = true;
	Bool copyToSawInitedDest = false;
	Int32 writeCount = 1; // Int32 values Write puts after the object's marker
	Int32 readCount = 1; // Int32 values Read tries to read
	std::vector<Int32> readValues; // values Read got, in order, over all objects
	std::vector<Bool> readResults; // results of those reads
	std::vector<Int32> readLevels;
	std::vector<Int32> docInfoTypes; // MSG_DOCUMENTINFO event types received
	std::vector<BaseDocument*> docInfoDocs;
	Int32 builds = 0; // GetVirtualObjects calls that built a new hierarchy
	Bool honourCache = true; // GetVirtualObjects hands back the cache when nothing changed
	Bool returnNothing = false; // GetVirtualObjects returns nullptr
};
ProbeLog& Log();

class ProbeData : public ObjectData
{
	INSTANCEOF(ProbeData, ObjectData)

public:
	static NodeData* Alloc() { return NewObjClear(ProbeData); }
	~ProbeData() override;

	Bool Init(GeListNode* node) override;
	void Free(GeListNode* node) override;
	Bool Read(GeListNode* node, HyperFile* hf, Int32 level) override;
	Bool Write(GeListNode* node, HyperFile* hf) override;
	Bool Message(GeListNode* node, Int32 type, void* data) override;
	Bool CopyTo(NodeData* dest, GeListNode* snode, GeListNode* dnode, COPYFLAGS flags, AliasTrans* trn) override;
	Bool AddToExecution(BaseObject* op, PriorityList* list) override;
	EXECUTIONRESULT Execute(BaseObject* op, BaseDocument* doc, BaseThread* bt, Int32 priority, EXECUTIONFLAGS flags) override;
	BaseObject* GetVirtualObjects(BaseObject* op, HierarchyHelp* hh) override;

	// Plug-in state that only Read/Write/CopyTo carry (an allocation, so a missed destructor leaks).
	std::vector<Int32> values;
	Bool inited = false;
};

// Registers the test plug-ins once per process.
void RegisterProbes();

// Resets the probe log and allocation failures around every test.
class ProbeTest : public ::testing::Test
{
protected:
	void SetUp() override;
	void TearDown() override;
};

// Names of the children of an object (or of the document's top-level objects), first to last.
std::vector<std::string> ChildNames(BaseObject* parent);
std::vector<std::string> TopNames(BaseDocument* doc);
std::vector<std::string> TagTypes(BaseObject* op);
} // namespace scene_test
