// The molecule object: reads a molecule file and generates ball-and-stick geometry for it.
#ifndef VIRELTAN_VIRELTAN_H__
#define VIRELTAN_VIRELTAN_H__

#include "c4d.h"
#include "datastructs.h"
#include "description/oxvireltan.h"

#define ID_VIRELTAN 1060013

// Material group i owns the ids MOLOBJ_MAT_BASE + MOLOBJ_MAT_STRIDE * i + field.
enum
{
	MOLOBJ_MAT_BASE = 15020,
	MOLOBJ_MAT_STRIDE = 20,
	MOLOBJ_MAT_GROUP = 1,
	MOLOBJ_MAT_INITIALISED = 3,
	MOLOBJ_MAT_LINK = 4,
	MOLOBJ_MAT_SYMBOL = 5,
	MOLOBJ_MAT_OFFSET_U = 6,
	MOLOBJ_MAT_OFFSET_V = 7,
	MOLOBJ_MAT_TILES_U = 8,
	MOLOBJ_MAT_TILES_V = 9,
	MOLOBJ_MAT_USE = 10,
	MOLOBJ_MAT_PROJECTION = 11,
	// Group 249 would reach the static ids from 20000 on.
	MOLOBJ_MAT_GROUP_LIMIT = 249
};

// What the last load of the molecule file did: no file was named, the file was read, or it could
// not be read (after the object's message boxes).
enum
{
	LOAD_OUTCOME_NONE = 0,
	LOAD_OUTCOME_READ = 1,
	LOAD_OUTCOME_FAILED = 2
};

inline Int32 MaterialGroupId(Int32 group, Int32 field)
{
	return MOLOBJ_MAT_BASE + MOLOBJ_MAT_STRIDE * group + field;
}

// Updates the working record from one data line of the element table file.
Bool ParseElementLine(const String& line, ElementRecord& record);

class Vireltan : public ObjectData
{
	INSTANCEOF(Vireltan, ObjectData)

public:
	static NodeData* Alloc();

	Vireltan();
	~Vireltan() override;

	Bool Init(GeListNode* node) override;
	void Free(GeListNode* node) override;
	Bool Read(GeListNode* node, HyperFile* hf, Int32 level) override;
	Bool Write(GeListNode* node, HyperFile* hf) override;
	Bool CopyTo(NodeData* dest, GeListNode* snode, GeListNode* dnode, COPYFLAGS flags, AliasTrans* trn) override;
	Bool Message(GeListNode* node, Int32 type, void* data) override;
	Bool GetDDescription(GeListNode* node, Description* description, DESCFLAGS_DESC& flags) override;
	Bool GetDEnabling(GeListNode* node, const DescID& id, const GeData& t_data, DESCFLAGS_ENABLE flags,
		const BaseContainer* itemdesc) override;
	Bool AddToExecution(BaseObject* op, PriorityList* list) override;
	EXECUTIONRESULT Execute(BaseObject* op, BaseDocument* doc, BaseThread* bt, Int32 priority, EXECUTIONFLAGS flags) override;
	BaseObject* GetVirtualObjects(BaseObject* op, HierarchyHelp* hh) override;

	// Empties the element table and reads ptable.csv from the res folder into it.
	Bool LoadElementTable();
	// -1 rebuilds all six default presets; 0 to 5 restores that preset; anything else does nothing.
	void RestorePresetDefaults(Int32 index);
	void SyncCacheToContainer(BaseContainer* bc);
	void SyncContainerToCache(const BaseContainer* bc);

	void BuildMaterialAssignments(const BaseContainer* bc, BaseDocument* doc);
	SplineObject* BuildBondProfile(Float radius);

	// The model and the state that code outside the object reads through molecule.h (the tool,
	// the fuzz harnesses, the benchmarks) or that the unit tests check; the rest is private.
	maxon::BaseArray<ElementRecord> elements;
	maxon::BaseArray<AtomRecord> atoms;
	maxon::BaseArray<BondRecord> bonds;
	maxon::BaseArray<ColourPreset> presets;
	maxon::BaseArray<MaterialAssignment> materialAssignments;

	Int32 materialCount = 0;
	Int32 displayMode = 0;
	Int32 radiusMode = 0;
	Int32 presetIndex = 0;
	Int32 sphereSegments = 0;
	Int32 profileSubdivision = 0;
	Float64 atomSize = 0.0;
	Float64 positionScale = 0.0;
	Vector nucleusColour;
	Bool xray = false;
	// A LOAD_OUTCOME_ value: what the last load command or document event did.
	Int32 loadOutcome = LOAD_OUTCOME_NONE;

private:
	// Reads the file MOLOBJ_FILE names; false (after a message box) when it could not be read.
	Bool LoadMoleculeFile(GeListNode* node, BaseContainer* bc);
	// The atom's sphere under root, and its nucleus first under root when nuclei are shown.
	void BuildAtom(Int32 atomIndex, const Vector& centre, HierarchyHelp* hh, BaseObject* root);
	BaseObject* BuildNucleus(Int32 atomIndex, HierarchyHelp* hh);
	BaseObject* BuildBond(Int32 firstAtom, Int32 secondAtom, const Vector& centre, Int32 order);

	// The parameters' cache that only the object reads: atoms, then bonds, then nuclei.
	Int32 colourSource = 0;
	Float64 radiusScale = 0.0;

	Float64 bondRadius = 0.0;
	Float64 doubleBondFactor = 0.0;
	Float64 tripleBondFactor = 0.0;
	Int32 bondCaps = 0;
	Vector singleBondColour;
	Vector doubleBondColour;
	Vector tripleBondColour;
	Vector aromaticBondColour;

	Bool showNucleus = false;
	Float64 nucleusSize = 0.0;

	const MaterialAssignment* FindAssignment(Int32 target) const;
	Bool HasPreset(Int32 index) const { return index >= 0 && index < presets.GetCount(); }
	// Takes the container's group count, held to the groups the ids can hold, and writes it back
	// when it had to be held.
	void ReadGroupCount(BaseContainer* bc);
	// The preset colours a container shows belong to the preset it selects: after a scene was read,
	// an object copied or a document opened, the object takes that preset as the one shown.
	void FollowShownPreset(const BaseContainer* bc);
	// The selected preset's colours into the five colour parameters, and back; an index the array
	// does not hold writes and reads nothing.
	void ShowPresetColours(BaseContainer* bc);
	void TakePresetColours(const BaseContainer* bc);
	// Switches the shown preset colours to the preset the container now selects.
	void ShowPreset(BaseContainer* bc);
	// The panel's buttons and the parameters whose change the object acts on.
	void Command(GeListNode* node, BaseContainer* bc, Int32 id);
	void RestorePreset(BaseContainer* bc);
	void AppendMaterialGroup(GeListNode* node, BaseContainer* bc);
	void RemoveLastMaterialGroup(GeListNode* node, BaseContainer* bc);
	void ParameterSet(GeListNode* node, BaseContainer* bc, const DescID& id);
	// A bond's radius and display colour by its order (1 to 3, 4 aromatic).
	Float BondRadius(Int32 order) const;
	Vector BondColour(Int32 order) const;
	Float AtomRadius(const AtomRecord& atom, Bool* defined) const;
	Vector AtomColour(const AtomRecord& atom) const;
};

#endif
