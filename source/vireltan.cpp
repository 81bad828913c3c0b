// The molecule object, in six parts, each under its own heading below:
//   element table        LoadElementTable, ParseElementLine: ptable.csv into the element records
//   presets, parameters  the colour presets and the two syncs between the cache and the container
//   lifecycle            Alloc, Init, Free, Read, Write, CopyTo
//   messages             the panel's buttons and changes, the document event, the load command,
//                        the execution pass
//   attribute panel      the material groups' description entries and the enabling rules
//   geometry             material assignments, atoms, nuclei and bonds, GetVirtualObjects
#include "vireltan.h"

#include <cmath>
#include <fstream>

#include "c4d_symbols.h"
#include "description/obase.h"
#include "description/onurbscaps.h"
#include "description/osphere.h"
#include "description/ospline.h"
#include "description/ttexture.h"
#include "mol2loader.h"
#include "sdfloader.h"

namespace
{
const Int PATH_BUFFER_SIZE = 1000;
const Int LINE_BUFFER_SIZE = 10000;
const Float64 HANDLE_FACTOR = 0.415;

const ColourPreset DEFAULT_PRESETS[6] = {
	{Vector(0.90, 0.84, 0.72), Vector(0.10, 0.10, 0.09), Vector(0.89, 0.35, 0.15), Vector(0.94, 0.65, 0.00), Vector(0.80, 0.80, 0.80)},
	{Vector(0.96, 0.94, 0.90), Vector(0.24, 0.14, 0.09), Vector(0.71, 0.80, 0.90), Vector(0.38, 0.56, 0.56), Vector(0.80, 0.80, 0.80)},
	{Vector(0.95, 0.95, 0.95), Vector(0.09, 0.09, 0.09), Vector(0.36, 0.72, 0.89), Vector(0.53, 0.35, 1.00), Vector(0.80, 0.80, 0.80)},
	{Vector(0.85, 0.13, 0.28), Vector(0.08, 0.11, 0.23), Vector(0.85, 0.86, 0.74), Vector(0.43, 0.75, 0.55), Vector(0.80, 0.80, 0.80)},
	{Vector(0.70, 0.64, 1.00), Vector(1.00, 0.97, 0.79), Vector(1.00, 0.71, 0.71), Vector(1.00, 0.87, 0.71), Vector(0.80, 0.80, 0.80)},
	{Vector(0.84, 0.94, 0.66), Vector(0.11, 0.14, 0.19), Vector(0.32, 0.33, 0.49), Vector(0.51, 0.40, 0.59), Vector(0.80, 0.80, 0.80)},
};

// The parameters' defaults: Init writes them, and a parameter the container lacks reads as its default.
const Int32 DEFAULT_DISPLAY_MODE = MOLOBJ_DISPLAY_MODE_ATOMS_AND_BONDS;
const Int32 DEFAULT_RADIUS_MODE = MOLOBJ_ATOM_RADIUS_MODE_UNIFORM;
const Int32 DEFAULT_COLOUR_SOURCE = MOLOBJ_COLOR_SOURCE_ELEMENT;
const Int32 DEFAULT_PRESET = MOLOBJ_PRESET_AMBER;
const Int32 DEFAULT_SPHERE_SEGMENTS = 24;
const Int32 DEFAULT_PROFILE_SUBDIVISION = 2;
const Int32 DEFAULT_BOND_CAPS = 0;
const Float64 DEFAULT_ATOM_SIZE = 25.0;
const Float64 DEFAULT_RADIUS_SCALE = 1.0;
const Float64 DEFAULT_POSITION_SCALE = 100.0;
const Float64 DEFAULT_BOND_RADIUS = 3.0;
const Float64 DEFAULT_DOUBLE_BOND_FACTOR = 2.0;
const Float64 DEFAULT_TRIPLE_BOND_FACTOR = 3.0;
const Float64 DEFAULT_NUCLEUS_SIZE = 0.35;
const Vector DEFAULT_SINGLE_BOND_COLOUR = Vector(1.0, 1.0, 1.0);
const Vector DEFAULT_DOUBLE_BOND_COLOUR = Vector(0.5, 0.5, 1.0);
const Vector DEFAULT_TRIPLE_BOND_COLOUR = Vector(1.0, 0.5, 0.5);
const Vector DEFAULT_AROMATIC_BOND_COLOUR = Vector(0.5, 1.0, 0.5);
const Vector DEFAULT_NUCLEUS_COLOUR = Vector(0.0, 0.0, 0.5);

const Int32 PRESET_COLOUR_IDS[5] = {
	MOLOBJ_PRESET_COLOR_H, MOLOBJ_PRESET_COLOR_C, MOLOBJ_PRESET_COLOR_O, MOLOBJ_PRESET_COLOR_N, MOLOBJ_PRESET_COLOR_OTHER};

Vector* PresetSlot(ColourPreset& preset, Int32 slot)
{
	Vector* slots[5] = {&preset.colourH, &preset.colourC, &preset.colourO, &preset.colourN, &preset.colourOther};
	return slots[slot];
}

const char* const ELEMENT_FILE_MESSAGE =
	"Vireltan could not find or open the file 'ptable.csv', which contains the data for the chemical elements. "
	"Please check that this file is correctly named and present in the 'res' folder.\n\nThe plugin will now terminate.";
const char* const LOAD_ERROR_MESSAGE = "An error was encountered when loading the molecule definition file.";
const char* const UNKNOWN_FORMAT_MESSAGE = "Unrecognised file format, molecule definition file cannot be loaded.";
const char* const RESTORE_QUESTION = "Are you sure you want to restore this preset to its default colors?";

void SetDisplayColour(BaseObject* op, const Vector& colour, Bool xray)
{
	ObjectColorProperties props;
	props.usecolor = ID_BASEOBJECT_USECOLOR_AUTOMATIC;
	props.color = colour;
	props.xray = xray;
	op->SetColorProperties(&props);
}

// Records what a generated object stands for, so that nothing outside the object has to work it
// out from names and order. One value, not a sub-container: every atom and bond carries it.
void MarkRole(BaseObject* op, Int32 kind, Int32 value)
{
	BaseContainer* data = op->GetDataInstance();
	if (data)
		data->SetInt64(ID_VIRELTAN, PackRole(kind, value));
}

// The placement of a material group on its texture tag; nothing without a tag.
void PlaceTexture(TextureTag* tag, const MaterialAssignment& entry)
{
	if (!tag)
		return;
	tag->SetParameter(DescID(TEXTURETAG_PROJECTION), GeData(entry.projection), DESCFLAGS_SET::NONE);
	tag->SetParameter(DescID(TEXTURETAG_OFFSETX), GeData(entry.offsetU), DESCFLAGS_SET::NONE);
	tag->SetParameter(DescID(TEXTURETAG_OFFSETY), GeData(entry.offsetV), DESCFLAGS_SET::NONE);
	tag->SetParameter(DescID(TEXTURETAG_TILESX), GeData(entry.tilesU), DESCFLAGS_SET::NONE);
	tag->SetParameter(DescID(TEXTURETAG_TILESY), GeData(entry.tilesV), DESCFLAGS_SET::NONE);
}

// A stored group count held to what the group ids can hold; a negative count means no groups.
Int32 GroupCount(Int32 stored)
{
	if (stored < 0)
		return 0;
	return stored < MOLOBJ_MAT_GROUP_LIMIT ? stored : MOLOBJ_MAT_GROUP_LIMIT;
}

Bool IsFinite(const Vector& v)
{
	return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// Centre of the bounding box of the atoms. An atom with a coordinate that is not a number cannot
// be placed anyway, so it does not move the others; the half-sum form is used only where the
// extent itself overflows.
Vector BoundingBoxCentre(const maxon::BaseArray<AtomRecord>& atoms)
{
	const Float64 largest = 1.7976931348623157e308;
	Vector minimum(largest, largest, largest);
	Vector maximum(-largest, -largest, -largest);
	for (const AtomRecord& atom : atoms)
	{
		if (!IsFinite(atom.position))
			continue;
		for (Int32 axis = 0; axis < 3; ++axis)
		{
			if (atom.position[axis] < minimum[axis])
				minimum[axis] = atom.position[axis];
			if (atom.position[axis] > maximum[axis])
				maximum[axis] = atom.position[axis];
		}
	}
	Vector centre;
	for (Int32 axis = 0; axis < 3; ++axis)
	{
		const Float64 extent = maximum[axis] - minimum[axis];
		centre[axis] = std::isfinite(extent) ? minimum[axis] + extent * 0.5 : minimum[axis] * 0.5 + maximum[axis] * 0.5;
	}
	return centre;
}

// Where an atom goes in the generated hierarchy; false when that place is not a finite number
// (a huge coordinate times the position scale), and then the atom cannot be drawn.
Bool PlaceAtom(const Vector& position, const Vector& centre, Float64 scale, Vector* place)
{
	*place = (position - centre) * scale;
	return IsFinite(*place);
}

// Puts a texture tag with the material first on the object; nullptr when the tag cannot be made.
TextureTag* AddTextureTag(BaseObject* op, BaseMaterial* material)
{
	TextureTag* tag = TextureTag::Alloc();
	if (!tag)
		return nullptr;
	tag->SetMaterial(material);
	op->InsertTag(tag);
	return tag;
}

// Material target of a bond order; MATERIAL_TARGET_NONE for an order other than 1 to 4.
Int32 BondMaterialTarget(Int32 order)
{
	switch (order)
	{
		case 1:
			return MATERIAL_TARGET_BOND_SINGLE;
		case 2:
			return MATERIAL_TARGET_BOND_DOUBLE;
		case 3:
			return MATERIAL_TARGET_BOND_TRIPLE;
		case 4:
			return MATERIAL_TARGET_BOND_AROMATIC;
		default:
			return MATERIAL_TARGET_NONE;
	}
}
} // namespace

// ---- element table ---------------------------------------------------------------------------

Bool ParseElementLine(const String& line, ElementRecord& record)
{
	const Int len = line.GetLength();
	Int start = 0;
	Int32 column = 0;
	Int32 pos = 0;
	Bool error = false;
	while (line.FindFirst(","_s, &pos, start))
	{
		String field = line.SubStr(start, pos - start);
		start = pos + 1;
		switch (column)
		{
			case 0:
				record.symbol = field;
				break;
			case 1:
				if (field.IsEmpty())
				{
					record.colour = Vector(0.2, 0.2, 0.2);
				}
				else
				{
					record.colour = HexColour(field, &error);
				}
				break;
			case 2:
				record.radiusA = field.IsEmpty() ? 1.0 : field.ToFloat(&error);
				break;
			default:
				break;
		}
		++column;
	}
	if (start < len)
		record.radiusB = line.SubStr(start, len - start).ToFloat(&error);
	return true;
}

Bool Vireltan::LoadElementTable()
{
	Filename path = GeGetPluginResourcePath() + Filename("ptable.csv");
	elements.Flush();
	if (!GeFExist(path) || !path.IsPopulated())
		return false;

	String pathText = path.GetString();
	if (pathText.GetCStringLen(STRINGENCODING::XBIT) > PATH_BUFFER_SIZE - 1)
		return false;
	char pathBuffer[PATH_BUFFER_SIZE];
	pathText.GetCString(pathBuffer, PATH_BUFFER_SIZE, STRINGENCODING::XBIT);

	std::ifstream file(pathBuffer, std::ios::in);
	if (!file.good())
		return false;

	char line[LINE_BUFFER_SIZE];
	ReadTextLine(file, line, LINE_BUFFER_SIZE - 1);
	ReadTextLine(file, line, LINE_BUFFER_SIZE - 1);

	// Radii start at 1.0, the value of an empty radius field.
	ElementRecord work{String(), Vector(0.0, 0.0, 0.0), 1.0, 1.0};
	while (ReadTextLine(file, line, LINE_BUFFER_SIZE - 1))
	{
		String text;
		text.SetCString(line, -1, STRINGENCODING::XBIT);
		ParseElementLine(text, work);
		iferr (elements.Append(work))
			continue;
	}
	file.close();
	return true;
}

// ---- presets and parameters ------------------------------------------------------------------

void Vireltan::RestorePresetDefaults(Int32 index)
{
	if (index == -1)
	{
		presets.Flush();
		for (const ColourPreset& preset : DEFAULT_PRESETS)
		{
			iferr (presets.Append(preset))
				continue;
		}
		return;
	}
	// An index the array does not hold (fewer presets stored) is ignored.
	if (index >= 0 && index < 6 && HasPreset(index))
		presets[index] = DEFAULT_PRESETS[index];
}

void Vireltan::SyncCacheToContainer(BaseContainer* bc)
{
	bc->SetInt32(MOLOBJ_DISPLAY_MODE, displayMode);
	bc->SetInt32(MOLOBJ_ATOM_RADIUS_MODE, radiusMode);
	bc->SetInt32(MOLOBJ_COLOR_SOURCE, colourSource);
	bc->SetInt32(MOLOBJ_PRESET, presetIndex);
	bc->SetInt32(MOLOBJ_ATOM_SEGMENTS, sphereSegments);
	bc->SetInt32(MOLOBJ_BOND_PROFILE_SUBDIV, profileSubdivision);
	bc->SetInt32(MOLOBJ_BOND_CAPS, bondCaps);

	bc->SetFloat(MOLOBJ_ATOM_SIZE, atomSize);
	bc->SetFloat(MOLOBJ_ATOM_RADIUS_SCALE, radiusScale);
	bc->SetFloat(MOLOBJ_POSITION_SCALE, positionScale);
	bc->SetFloat(MOLOBJ_BOND_RADIUS, bondRadius);
	bc->SetFloat(MOLOBJ_BOND_DOUBLE_FACTOR, doubleBondFactor);
	bc->SetFloat(MOLOBJ_BOND_TRIPLE_FACTOR, tripleBondFactor);
	bc->SetFloat(MOLOBJ_NUCLEUS_SIZE, nucleusSize);

	bc->SetBool(MOLOBJ_XRAY, xray);
	bc->SetBool(MOLOBJ_SHOW_NUCLEUS, showNucleus);

	bc->SetVector(MOLOBJ_BOND_COLOR_SINGLE, singleBondColour);
	bc->SetVector(MOLOBJ_BOND_COLOR_DOUBLE, doubleBondColour);
	bc->SetVector(MOLOBJ_BOND_COLOR_TRIPLE, tripleBondColour);
	bc->SetVector(MOLOBJ_BOND_COLOR_AROMATIC, aromaticBondColour);
	bc->SetVector(MOLOBJ_NUCLEUS_COLOR, nucleusColour);

	ShowPresetColours(bc);
}

void Vireltan::SyncContainerToCache(const BaseContainer* bc)
{
	displayMode = bc->GetInt32(MOLOBJ_DISPLAY_MODE, DEFAULT_DISPLAY_MODE);
	radiusMode = bc->GetInt32(MOLOBJ_ATOM_RADIUS_MODE, DEFAULT_RADIUS_MODE);
	colourSource = bc->GetInt32(MOLOBJ_COLOR_SOURCE, DEFAULT_COLOUR_SOURCE);
	presetIndex = bc->GetInt32(MOLOBJ_PRESET, DEFAULT_PRESET);
	sphereSegments = bc->GetInt32(MOLOBJ_ATOM_SEGMENTS, DEFAULT_SPHERE_SEGMENTS);
	profileSubdivision = bc->GetInt32(MOLOBJ_BOND_PROFILE_SUBDIV, DEFAULT_PROFILE_SUBDIVISION);
	bondCaps = bc->GetInt32(MOLOBJ_BOND_CAPS, DEFAULT_BOND_CAPS);

	atomSize = bc->GetFloat(MOLOBJ_ATOM_SIZE, DEFAULT_ATOM_SIZE);
	radiusScale = bc->GetFloat(MOLOBJ_ATOM_RADIUS_SCALE, DEFAULT_RADIUS_SCALE);
	positionScale = bc->GetFloat(MOLOBJ_POSITION_SCALE, DEFAULT_POSITION_SCALE);
	bondRadius = bc->GetFloat(MOLOBJ_BOND_RADIUS, DEFAULT_BOND_RADIUS);
	doubleBondFactor = bc->GetFloat(MOLOBJ_BOND_DOUBLE_FACTOR, DEFAULT_DOUBLE_BOND_FACTOR);
	tripleBondFactor = bc->GetFloat(MOLOBJ_BOND_TRIPLE_FACTOR, DEFAULT_TRIPLE_BOND_FACTOR);
	nucleusSize = bc->GetFloat(MOLOBJ_NUCLEUS_SIZE, DEFAULT_NUCLEUS_SIZE);

	xray = bc->GetBool(MOLOBJ_XRAY, false);
	showNucleus = bc->GetBool(MOLOBJ_SHOW_NUCLEUS, false);

	singleBondColour = bc->GetVector(MOLOBJ_BOND_COLOR_SINGLE, DEFAULT_SINGLE_BOND_COLOUR);
	doubleBondColour = bc->GetVector(MOLOBJ_BOND_COLOR_DOUBLE, DEFAULT_DOUBLE_BOND_COLOUR);
	tripleBondColour = bc->GetVector(MOLOBJ_BOND_COLOR_TRIPLE, DEFAULT_TRIPLE_BOND_COLOUR);
	aromaticBondColour = bc->GetVector(MOLOBJ_BOND_COLOR_AROMATIC, DEFAULT_AROMATIC_BOND_COLOUR);
	nucleusColour = bc->GetVector(MOLOBJ_NUCLEUS_COLOR, DEFAULT_NUCLEUS_COLOUR);

	TakePresetColours(bc);
}

void Vireltan::ShowPresetColours(BaseContainer* bc)
{
	if (!HasPreset(presetIndex))
		return;
	for (Int32 slot = 0; slot < 5; ++slot)
		bc->SetVector(PRESET_COLOUR_IDS[slot], *PresetSlot(presets[presetIndex], slot));
}

void Vireltan::TakePresetColours(const BaseContainer* bc)
{
	if (!HasPreset(presetIndex))
		return;
	// A colour the container lacks leaves the preset's own colour as it is.
	for (Int32 slot = 0; slot < 5; ++slot)
	{
		Vector* colour = PresetSlot(presets[presetIndex], slot);
		*colour = bc->GetVector(PRESET_COLOUR_IDS[slot], *colour);
	}
}

// ---- lifecycle -------------------------------------------------------------------------------

NodeData* Vireltan::Alloc()
{
	return NewObjClear(Vireltan);
}

Vireltan::Vireltan() = default;

Vireltan::~Vireltan()
{
	materialAssignments.Reset();
	presets.Reset();
	bonds.Reset();
	atoms.Reset();
	elements.Reset();
}

Bool Vireltan::Init(GeListNode* node)
{
	BaseContainer* bc = static_cast<BaseList2D*>(node)->GetDataInstance();
	if (!bc)
		return false;

	materialCount = 0;
	displayMode = DEFAULT_DISPLAY_MODE;
	radiusMode = DEFAULT_RADIUS_MODE;
	colourSource = DEFAULT_COLOUR_SOURCE;
	presetIndex = DEFAULT_PRESET;
	sphereSegments = DEFAULT_SPHERE_SEGMENTS;
	profileSubdivision = DEFAULT_PROFILE_SUBDIVISION;
	bondCaps = DEFAULT_BOND_CAPS;
	atomSize = DEFAULT_ATOM_SIZE;
	radiusScale = DEFAULT_RADIUS_SCALE;
	positionScale = DEFAULT_POSITION_SCALE;
	bondRadius = DEFAULT_BOND_RADIUS;
	doubleBondFactor = DEFAULT_DOUBLE_BOND_FACTOR;
	tripleBondFactor = DEFAULT_TRIPLE_BOND_FACTOR;
	nucleusSize = DEFAULT_NUCLEUS_SIZE;
	singleBondColour = DEFAULT_SINGLE_BOND_COLOUR;
	doubleBondColour = DEFAULT_DOUBLE_BOND_COLOUR;
	tripleBondColour = DEFAULT_TRIPLE_BOND_COLOUR;
	aromaticBondColour = DEFAULT_AROMATIC_BOND_COLOUR;
	nucleusColour = DEFAULT_NUCLEUS_COLOUR;
	xray = false;
	showNucleus = false;
	materialAssignments.Flush();

	bc->SetInt32(MOLOBJ_MATERIAL_COUNT, 0);
	RestorePresetDefaults(-1);
	SyncCacheToContainer(bc);

	if (!LoadElementTable())
	{
		MessageDialog(String(ELEMENT_FILE_MESSAGE));
		return false;
	}
	return true;
}

void Vireltan::Free(GeListNode* node)
{
	elements.Flush();
	atoms.Flush();
	bonds.Flush();
	presets.Flush();
}

Bool Vireltan::Write(GeListNode* node, HyperFile* hf)
{
	hf->WriteInt32(Int32(presets.GetCount()));
	for (const ColourPreset& preset : presets)
	{
		hf->WriteVector(preset.colourH);
		hf->WriteVector(preset.colourC);
		hf->WriteVector(preset.colourO);
		hf->WriteVector(preset.colourN);
		hf->WriteVector(preset.colourOther);
	}
	return true;
}

Bool Vireltan::Read(GeListNode* node, HyperFile* hf, Int32 level)
{
	presets.Flush();
	if (level < 0)
		return true;
	Int32 count = 0;
	if (!hf->ReadInt32(&count))
		return true;
	// A damaged block can claim any count: stop at the first value the file cannot give.
	for (Int32 i = 0; i < count; ++i)
	{
		ColourPreset preset;
		if (!hf->ReadVector(&preset.colourH) || !hf->ReadVector(&preset.colourC) || !hf->ReadVector(&preset.colourO) ||
			!hf->ReadVector(&preset.colourN) || !hf->ReadVector(&preset.colourOther))
			break;
		iferr (presets.Append(preset))
			continue;
	}
	FollowShownPreset(node ? static_cast<BaseList2D*>(node)->GetDataInstance() : nullptr);
	return true;
}

Bool Vireltan::CopyTo(NodeData* dest, GeListNode* snode, GeListNode* dnode, COPYFLAGS flags, AliasTrans* trn)
{
	Vireltan* target = static_cast<Vireltan*>(dest);
	if (target != this)
	{
		// A destination array that cannot be sized stays empty; copying goes on.
		iferr (target->atoms.CopyFrom(atoms))
			target->atoms.Flush();
		iferr (target->bonds.CopyFrom(bonds))
			target->bonds.Flush();
		iferr (target->elements.CopyFrom(elements))
			target->elements.Flush();
		iferr (target->presets.CopyFrom(presets))
			target->presets.Flush();
		iferr (target->materialAssignments.CopyFrom(materialAssignments))
			target->materialAssignments.Flush();
		target->materialCount = GroupCount(materialCount);
		target->FollowShownPreset(snode ? static_cast<BaseList2D*>(snode)->GetDataInstance() : nullptr);
	}
	return SUPER::CopyTo(dest, snode, dnode, flags, trn);
}

// ---- messages --------------------------------------------------------------------------------

void Vireltan::ReadGroupCount(BaseContainer* bc)
{
	const Int32 stored = bc->GetInt32(MOLOBJ_MATERIAL_COUNT);
	materialCount = GroupCount(stored);
	if (stored != materialCount)
		bc->SetInt32(MOLOBJ_MATERIAL_COUNT, materialCount);
}

void Vireltan::FollowShownPreset(const BaseContainer* bc)
{
	if (bc)
		presetIndex = bc->GetInt32(MOLOBJ_PRESET, DEFAULT_PRESET);
}

void Vireltan::ShowPreset(BaseContainer* bc)
{
	// The colours shown until now belong to the preset selected until now: keep edits made since
	// the last execution pass before the new preset's colours replace them.
	TakePresetColours(bc);
	presetIndex = bc->GetInt32(MOLOBJ_PRESET);
	ShowPresetColours(bc);
}

Bool Vireltan::LoadMoleculeFile(GeListNode* node, BaseContainer* bc)
{
	loadOutcome = LOAD_OUTCOME_NONE;
	Filename file = bc->GetFilename(MOLOBJ_FILE);
	if (!file.IsPopulated())
		return true;

	loadOutcome = LOAD_OUTCOME_FAILED;
	// Files from Windows often carry upper-case suffixes.
	String suffix = file.GetSuffix().ToLower();
	if (suffix == "sdf" || suffix == "mol")
	{
		// The reader empties the molecule before anything can fail, so even a failed load may change it.
		const Bool hadMolecule = atoms.GetCount() > 0 || bonds.GetCount() > 0;
		SDFLoader* loader = NewObjClear(SDFLoader);
		if (!loader)
		{
			MessageDialog(String(LOAD_ERROR_MESSAGE));
			return false;
		}
		Bool ok = loader->LoadFile(static_cast<BaseList2D*>(node), file, elements, atoms, bonds);
		DeleteObj(loader);
		if (ok || hadMolecule)
		{
			node->SetDirty(DIRTYFLAGS::DATA);
			node->Message(MSG_UPDATE);
		}
		if (!ok)
		{
			MessageDialog(String(LOAD_ERROR_MESSAGE));
			return false;
		}
		loadOutcome = LOAD_OUTCOME_READ;
		return true;
	}
	if (suffix == "mol2")
	{
		Mol2Loader* loader = NewObjClear(Mol2Loader);
		DeleteObj(loader);
		MessageDialog(String(LOAD_ERROR_MESSAGE));
		return false;
	}
	MessageDialog(String(UNKNOWN_FORMAT_MESSAGE));
	return false;
}

void Vireltan::RestorePreset(BaseContainer* bc)
{
	if (!QuestionDialog(String(RESTORE_QUESTION)))
		return;
	// The whole cache goes back to the container: take in what was set since the last pass.
	SyncContainerToCache(bc);
	RestorePresetDefaults(bc->GetInt32(MOLOBJ_PRESET));
	SyncCacheToContainer(bc);
}

void Vireltan::AppendMaterialGroup(GeListNode* node, BaseContainer* bc)
{
	if (materialCount >= MOLOBJ_MAT_GROUP_LIMIT)
		return;
	materialCount += 1;
	bc->SetInt32(MOLOBJ_MATERIAL_COUNT, materialCount);
	node->Message(MSG_CHANGE);
}

// Removes the last group: its values, and the animation tracks of its symbol and link.
void Vireltan::RemoveLastMaterialGroup(GeListNode* node, BaseContainer* bc)
{
	materialCount = GroupCount(materialCount);
	if (materialCount <= 0)
		return;
	const Int32 group = materialCount - 1;
	BaseList2D* list = static_cast<BaseList2D*>(node);
	bc->SetBool(MaterialGroupId(group, MOLOBJ_MAT_INITIALISED), false);
	for (Int32 field : {MOLOBJ_MAT_SYMBOL, MOLOBJ_MAT_LINK})
	{
		CTrack* track = list->FindCTrack(DescID(MaterialGroupId(group, field)));
		if (track)
		{
			track->Remove();
			CTrack::Free(track);
		}
	}
	bc->SetString(MaterialGroupId(group, MOLOBJ_MAT_SYMBOL), String());
	bc->SetLink(MaterialGroupId(group, MOLOBJ_MAT_LINK), nullptr);
	materialCount -= 1;
	bc->SetInt32(MOLOBJ_MATERIAL_COUNT, materialCount);
	node->Message(MSG_CHANGE);
}

void Vireltan::Command(GeListNode* node, BaseContainer* bc, Int32 id)
{
	switch (id)
	{
		case MOLOBJ_LOAD: LoadMoleculeFile(node, bc); break;
		case MOLOBJ_PRESET_RESTORE: RestorePreset(bc); break;
		case MOLOBJ_MATERIAL_ADD: AppendMaterialGroup(node, bc); break;
		case MOLOBJ_MATERIAL_REMOVE: RemoveLastMaterialGroup(node, bc); break;
		default: break;
	}
}

void Vireltan::ParameterSet(GeListNode* node, BaseContainer* bc, const DescID& id)
{
	if (id == DescID(MOLOBJ_COLOR_SOURCE))
	{
		colourSource = bc->GetInt32(MOLOBJ_COLOR_SOURCE);
		LoadElementTable();
	}
	else if (id == DescID(MOLOBJ_PRESET))
	{
		ShowPreset(bc);
	}
	else
	{
		return;
	}
	node->SetDirty(DIRTYFLAGS::DATA);
	node->Message(MSG_UPDATE);
}

Bool Vireltan::Message(GeListNode* node, Int32 type, void* data)
{
	BaseContainer* bc = static_cast<BaseList2D*>(node)->GetDataInstance();
	if (!bc)
		return SUPER::Message(node, type, data);

	if (type == MSG_DESCRIPTION_COMMAND)
	{
		if (const DescriptionCommand* dc = static_cast<DescriptionCommand*>(data))
			Command(node, bc, dc->_descId[0].id);
	}
	else if (type == MSG_DESCRIPTION_POSTSETPARAMETER)
	{
		const DescriptionPostSetValue* ps = static_cast<DescriptionPostSetValue*>(data);
		if (ps && ps->descid)
			ParameterSet(node, bc, *ps->descid);
	}
	else if (type == MSG_DOCUMENTINFO)
	{
		const DocumentInfoData* info = static_cast<DocumentInfoData*>(data);
		if (info && (info->type == MSG_DOCUMENTINFO_TYPE_LOAD || info->type == MSG_DOCUMENTINFO_TYPE_MERGE))
		{
			LoadMoleculeFile(node, bc);
			ReadGroupCount(bc);
			FollowShownPreset(bc);
		}
	}
	return SUPER::Message(node, type, data);
}

Bool Vireltan::AddToExecution(BaseObject* op, PriorityList* list)
{
	list->Add(op, EXECUTIONPRIORITY_GENERATOR, EXECUTIONFLAGS::NONE);
	return true;
}

EXECUTIONRESULT Vireltan::Execute(BaseObject* op, BaseDocument* doc, BaseThread* bt, Int32 priority, EXECUTIONFLAGS flags)
{
	BaseContainer* bc = op->GetDataInstance();
	if (!bc)
		return EXECUTIONRESULT::OUTOFMEMORY;
	SyncContainerToCache(bc);
	return EXECUTIONRESULT::OK;
}

// ---- attribute panel -------------------------------------------------------------------------

namespace
{
// The descriptions of a material group's parameters, the same for every group.
struct MaterialDescs
{
	BaseContainer group, initialised, link, projection, symbol, use, offset[2], tiles[2];
};

// An animated parameter shown with that interface.
BaseContainer Field(Int32 dtype, Int32 label, Int32 gui)
{
	BaseContainer d = GetCustomDataTypeDefault(dtype);
	d.SetString(DESC_SHORT_NAME, GeLoadString(label));
	d.SetInt32(DESC_ANIMATE, DESC_ANIMATE_ON);
	d.SetInt32(DESC_CUSTOMGUI, gui);
	return d;
}

BaseContainer GroupDesc()
{
	BaseContainer d = GetCustomDataTypeDefault(DTYPE_GROUP);
	d.SetString(DESC_NAME, GeLoadString(IDS_MATERIAL));
	d.SetString(DESC_SHORT_NAME, GeLoadString(IDS_MATERIAL));
	d.SetInt32(DESC_DEFAULT, 1);
	d.SetInt32(DESC_COLUMNS, 2);
	return d;
}

BaseContainer LinkDesc()
{
	BaseContainer d = Field(DTYPE_BASELISTLINK, IDS_MATERIAL, CUSTOMGUI_LINKBOX);
	BaseContainer accept;
	accept.SetString(Mbase, "Mbase"_s);
	d.SetContainer(DESC_ACCEPT, accept);
	d.SetBool(DESC_SCALEH, true);
	return d;
}

BaseContainer ProjectionDesc()
{
	BaseContainer d = Field(DTYPE_LONG, IDS_MATERIAL_PROJECTION, CUSTOMGUI_LONG);
	BaseContainer cycle;
	cycle.SetString(TEXTURETAG_PROJECTION_SPHERICAL, GeLoadString(IDS_PROJECTION_SPHERICAL));
	cycle.SetString(TEXTURETAG_PROJECTION_FLAT, GeLoadString(IDS_PROJECTION_FLAT));
	cycle.SetString(TEXTURETAG_PROJECTION_CUBIC, GeLoadString(IDS_PROJECTION_CUBIC));
	cycle.SetString(TEXTURETAG_PROJECTION_UVW, GeLoadString(IDS_PROJECTION_UVW));
	d.SetContainer(DESC_CYCLE, cycle);
	d.SetBool(DESC_SCALEH, true);
	return d;
}

BaseContainer UseDesc()
{
	BaseContainer d = Field(DTYPE_BOOL, IDS_MATERIAL_USE, CUSTOMGUI_BOOL);
	d.SetBool(DESC_REMOVEABLE, false);
	d.SetBool(DESC_DEFAULT, true);
	return d;
}

// A real value on a slider: its unit, the slider's range and the step.
BaseContainer SliderDesc(Int32 label, Int32 unit, Float minSlider, Float maxSlider, Float step)
{
	BaseContainer d = Field(DTYPE_REAL, label, CUSTOMGUI_REALSLIDER);
	d.SetInt32(DESC_UNIT, unit);
	d.SetFloat(DESC_MINSLIDER, minSlider);
	d.SetFloat(DESC_MAXSLIDER, maxSlider);
	d.SetFloat(DESC_STEP, step);
	d.SetBool(DESC_SCALEH, true);
	return d;
}

// Tiling never reaches zero, whatever is typed in.
BaseContainer TilesDesc(Int32 label)
{
	BaseContainer d = SliderDesc(label, DESC_UNIT_FLOAT, 0.01, 5.0, 0.1);
	d.SetFloat(DESC_MIN, 0.01);
	return d;
}

MaterialDescs MakeMaterialDescs()
{
	MaterialDescs m;
	m.group = GroupDesc();
	m.initialised = GetCustomDataTypeDefault(DTYPE_BOOL);
	m.initialised.SetBool(DESC_HIDE, true);
	m.link = LinkDesc();
	m.projection = ProjectionDesc();
	m.symbol = Field(DTYPE_STRING, IDS_MATERIAL_SYMBOL, CUSTOMGUI_STRING);
	m.symbol.SetBool(DESC_SCALEH, true);
	m.use = UseDesc();
	m.offset[0] = SliderDesc(IDS_MATERIAL_OFFSET_U, DESC_UNIT_PERCENT, 0.0, 1.0, 0.01);
	m.offset[1] = SliderDesc(IDS_MATERIAL_OFFSET_V, DESC_UNIT_PERCENT, 0.0, 1.0, 0.01);
	m.tiles[0] = TilesDesc(IDS_MATERIAL_TILES_U);
	m.tiles[1] = TilesDesc(IDS_MATERIAL_TILES_V);
	return m;
}

// A group's values before the panel first shows it.
void InitialiseMaterialGroup(BaseContainer* bc, Int32 i)
{
	bc->SetInt32(MaterialGroupId(i, MOLOBJ_MAT_PROJECTION), TEXTURETAG_PROJECTION_UVW);
	bc->SetBool(MaterialGroupId(i, MOLOBJ_MAT_USE), true);
	bc->SetFloat(MaterialGroupId(i, MOLOBJ_MAT_OFFSET_U), 0.0);
	bc->SetFloat(MaterialGroupId(i, MOLOBJ_MAT_OFFSET_V), 0.0);
	bc->SetFloat(MaterialGroupId(i, MOLOBJ_MAT_TILES_U), 1.0);
	bc->SetFloat(MaterialGroupId(i, MOLOBJ_MAT_TILES_V), 1.0);
}

// Adds group i's parameters (only the one asked for, when single is given); false when the
// description refuses one.
Bool AddMaterialGroup(Description* description, const DescID* single, Int32 i, const MaterialDescs& m)
{
	struct Entry
	{
		Int32 field;
		Int32 dtype;
		const BaseContainer* settings;
	};
	const Entry entries[] = {
		{MOLOBJ_MAT_GROUP, DTYPE_GROUP, &m.group},
		{MOLOBJ_MAT_INITIALISED, DTYPE_BOOL, &m.initialised},
		{MOLOBJ_MAT_LINK, DTYPE_BASELISTLINK, &m.link},
		{MOLOBJ_MAT_PROJECTION, DTYPE_LONG, &m.projection},
		{MOLOBJ_MAT_SYMBOL, DTYPE_STRING, &m.symbol},
		{MOLOBJ_MAT_USE, DTYPE_BOOL, &m.use},
		{MOLOBJ_MAT_OFFSET_U, DTYPE_REAL, &m.offset[0]},
		{MOLOBJ_MAT_OFFSET_V, DTYPE_REAL, &m.offset[1]},
		{MOLOBJ_MAT_TILES_U, DTYPE_REAL, &m.tiles[0]},
		{MOLOBJ_MAT_TILES_V, DTYPE_REAL, &m.tiles[1]},
	};
	const DescID groupId = DescLevel(MaterialGroupId(i, MOLOBJ_MAT_GROUP), DTYPE_GROUP, 0);
	for (const Entry& entry : entries)
	{
		const DescID cid = DescLevel(MaterialGroupId(i, entry.field), entry.dtype, 0);
		if (single && !cid.IsPartOf(*single, nullptr))
			continue;
		const DescID parent = entry.field == MOLOBJ_MAT_GROUP ? DescID(DescLevel(MOLOBJ_MATERIALS)) : groupId;
		if (!description->SetParameter(cid, *entry.settings, parent))
			return false;
	}
	return true;
}
} // namespace

Bool Vireltan::GetDDescription(GeListNode* node, Description* description, DESCFLAGS_DESC& flags)
{
	if (!description->LoadDescription(node->GetType()))
		return false;
	const DescID* single = description->GetSingleDescID();
	BaseContainer* bc = static_cast<BaseList2D*>(node)->GetDataInstance();
	if (!bc)
		return false;
	ReadGroupCount(bc);

	const MaterialDescs descs = MakeMaterialDescs();
	for (Int32 i = 0; i < materialCount; ++i)
	{
		if (!bc->GetBool(MaterialGroupId(i, MOLOBJ_MAT_INITIALISED)))
			InitialiseMaterialGroup(bc, i);
		// A description that refuses a parameter (out of memory) gets no further groups.
		if (!AddMaterialGroup(description, single, i, descs))
			return true;
		bc->SetBool(MaterialGroupId(i, MOLOBJ_MAT_INITIALISED), true);
	}

	flags |= DESCFLAGS_DESC::LOADED;
	return SUPER::GetDDescription(node, description, flags);
}

Bool Vireltan::GetDEnabling(GeListNode* node, const DescID& id, const GeData& t_data, DESCFLAGS_ENABLE flags,
	const BaseContainer* itemdesc)
{
	const BaseContainer* bc = static_cast<BaseList2D*>(node)->GetDataInstance();
	if (!bc)
		return SUPER::GetDEnabling(node, id, t_data, flags, itemdesc);

	const Int32 display = bc->GetInt32(MOLOBJ_DISPLAY_MODE);
	const Int32 mode = bc->GetInt32(MOLOBJ_ATOM_RADIUS_MODE);
	// The two modes whose radius comes from the atom size rather than from the element table.
	const Bool sizeMode = mode == MOLOBJ_ATOM_RADIUS_MODE_ATOMIC_NUMBER || mode == MOLOBJ_ATOM_RADIUS_MODE_UNIFORM;
	switch (id[0].id)
	{
		case MOLOBJ_ATOM_RADIUS_MODE:
		case MOLOBJ_ATOM_SEGMENTS:
		case MOLOBJ_SHOW_NUCLEUS:
			return display != MOLOBJ_DISPLAY_MODE_BONDS_ONLY;
		case MOLOBJ_ATOM_SIZE:
			return display != MOLOBJ_DISPLAY_MODE_BONDS_ONLY && sizeMode;
		case MOLOBJ_ATOM_RADIUS_SCALE:
			return display != MOLOBJ_DISPLAY_MODE_BONDS_ONLY && !sizeMode;
		case MOLOBJ_NUCLEUS_SIZE:
			return bc->GetBool(MOLOBJ_SHOW_NUCLEUS) && display != MOLOBJ_DISPLAY_MODE_BONDS_ONLY;
		case MOLOBJ_BOND_RADIUS:
		case MOLOBJ_BOND_DOUBLE_FACTOR:
		case MOLOBJ_BOND_PROFILE_SUBDIV:
		case MOLOBJ_BOND_CAPS:
		case MOLOBJ_BOND_TRIPLE_FACTOR:
			return display != MOLOBJ_DISPLAY_MODE_ATOMS_ONLY;
		case MOLOBJ_PRESET:
		case MOLOBJ_PRESET_COLOR_H:
		case MOLOBJ_PRESET_COLOR_C:
		case MOLOBJ_PRESET_COLOR_O:
		case MOLOBJ_PRESET_COLOR_N:
		case MOLOBJ_PRESET_COLOR_OTHER:
		case MOLOBJ_PRESET_RESTORE:
			return bc->GetInt32(MOLOBJ_COLOR_SOURCE) == MOLOBJ_COLOR_SOURCE_PRESET;
		case MOLOBJ_MATERIAL_REMOVE:
			return materialCount > 0;
		default:
			break;
	}
	return SUPER::GetDEnabling(node, id, t_data, flags, itemdesc);
}

// ---- geometry --------------------------------------------------------------------------------

void Vireltan::BuildMaterialAssignments(const BaseContainer* bc, BaseDocument* doc)
{
	materialAssignments.Flush();
	const Int32 groups = GroupCount(materialCount);
	for (Int32 i = 0; i < groups; ++i)
	{
		MaterialAssignment entry{nullptr, MATERIAL_TARGET_NONE, 0, 0.0, 0.0, 0.0, 0.0};
		if (bc->GetBool(MaterialGroupId(i, MOLOBJ_MAT_USE), false))
		{
			entry.material = static_cast<BaseMaterial*>(bc->GetLink(MaterialGroupId(i, MOLOBJ_MAT_LINK), doc, Mbase));
			const String text = bc->GetString(MaterialGroupId(i, MOLOBJ_MAT_SYMBOL));
			entry.target = FindElement(text, elements);
			if (entry.target < 0)
			{
				String key = text.ToUpper();
				iferr (key.Trim())
					key = String();
				entry.target = key == NUCLEUS_GROUP_SYMBOL ? MATERIAL_TARGET_NUCLEUS : MATERIAL_TARGET_NONE;
				for (Int32 order = 1; order <= 4; ++order)
				{
					if (key == BOND_GROUP_SYMBOLS[order - 1])
						entry.target = BondMaterialTarget(order);
				}
			}
			entry.projection = bc->GetInt32(MaterialGroupId(i, MOLOBJ_MAT_PROJECTION), 0);
			entry.offsetU = bc->GetFloat(MaterialGroupId(i, MOLOBJ_MAT_OFFSET_U), 0.0);
			entry.offsetV = bc->GetFloat(MaterialGroupId(i, MOLOBJ_MAT_OFFSET_V), 0.0);
			entry.tilesU = bc->GetFloat(MaterialGroupId(i, MOLOBJ_MAT_TILES_U), 0.0);
			entry.tilesV = bc->GetFloat(MaterialGroupId(i, MOLOBJ_MAT_TILES_V), 0.0);
		}
		iferr (materialAssignments.Append(entry))
			continue;
	}
}

const MaterialAssignment* Vireltan::FindAssignment(Int32 target) const
{
	// The first entry for a target decides, even when it has no material.
	for (const MaterialAssignment& entry : materialAssignments)
	{
		if (entry.target == target)
			return &entry;
	}
	return nullptr;
}

Float Vireltan::AtomRadius(const AtomRecord& atom, Bool* defined) const
{
	const ElementRecord& element = elements[atom.elementIndex];
	*defined = true;
	switch (radiusMode)
	{
		case MOLOBJ_ATOM_RADIUS_MODE_COVALENT:
			return element.radiusA * radiusScale;
		case MOLOBJ_ATOM_RADIUS_MODE_VDW:
			return element.radiusB * radiusScale;
		case MOLOBJ_ATOM_RADIUS_MODE_ATOMIC_NUMBER:
			return Float(atom.elementIndex + 1) * atomSize;
		case MOLOBJ_ATOM_RADIUS_MODE_UNIFORM:
			return atomSize;
		default:
			*defined = false;
			return 1.0;
	}
}

Vector Vireltan::AtomColour(const AtomRecord& atom) const
{
	if (colourSource != MOLOBJ_COLOR_SOURCE_PRESET || !HasPreset(presetIndex))
		return elements[atom.elementIndex].colour;
	const ColourPreset& preset = presets[presetIndex];
	switch (atom.elementIndex)
	{
		case ELEMENT_HYDROGEN:
			return preset.colourH;
		case ELEMENT_CARBON:
			return preset.colourC;
		case ELEMENT_OXYGEN:
			return preset.colourO;
		case ELEMENT_NITROGEN:
			return preset.colourN;
		default:
			return preset.colourOther;
	}
}

BaseObject* Vireltan::BuildNucleus(Int32 atomIndex, HierarchyHelp* hh)
{
	const AtomRecord& atom = atoms[atomIndex];
	Bool defined = false;
	const Float atomRadius = AtomRadius(atom, &defined);
	const Float radius = defined ? atomRadius * nucleusSize : 1.0;
	if (!std::isfinite(radius))
		return nullptr;

	BaseContainer sphereData;
	sphereData.SetFloat(PRIM_SPHERE_RAD, radius);
	sphereData.SetInt32(PRIM_SPHERE_SUB, sphereSegments);
	BaseObject* nucleus = GeneratePrimitive(nullptr, Osphere, sphereData, hh->GetLOD(), false, hh->GetThread());
	if (!nucleus)
		return nullptr;

	SetDisplayColour(nucleus, nucleusColour, false);
	const MaterialAssignment* entry = FindAssignment(MATERIAL_TARGET_NUCLEUS);
	if (entry && entry->material)
		AddTextureTag(nucleus, entry->material);
	return nucleus;
}

SplineObject* Vireltan::BuildBondProfile(Float radius)
{
	SplineObject* profile = SplineObject::Alloc(4, SPLINETYPE::BEZIER);
	if (!profile)
		return nullptr;
	Vector* points = profile->GetPointW();
	Tangent* tangents = profile->GetTangentW();
	BaseContainer* data = profile->GetDataInstance();
	if (!points || !tangents || !data)
	{
		SplineObject::Free(profile);
		return nullptr;
	}

	const Float r = radius;
	const Float k = HANDLE_FACTOR * r;
	points[0] = Vector(r, 0.0, 0.0);
	tangents[0].vl = Vector(0.0, -k, 0.0);
	tangents[0].vr = Vector(0.0, k, 0.0);
	points[1] = Vector(0.0, r, 0.0);
	tangents[1].vl = Vector(k, 0.0, 0.0);
	tangents[1].vr = Vector(-k, 0.0, 0.0);
	points[2] = Vector(-r, 0.0, 0.0);
	tangents[2].vl = Vector(0.0, k, 0.0);
	tangents[2].vr = Vector(0.0, -k, 0.0);
	points[3] = Vector(0.0, -r, 0.0);
	tangents[3].vl = Vector(-k, 0.0, 0.0);
	tangents[3].vr = Vector(k, 0.0, 0.0);

	data->SetBool(SPLINEOBJECT_CLOSED, true);
	data->SetInt32(SPLINEOBJECT_INTERPOLATION, SPLINEOBJECT_INTERPOLATION_UNIFORM);
	data->SetInt32(SPLINEOBJECT_SUB, profileSubdivision);
	return profile;
}

namespace
{
// A sweep of the profile along the straight path from p1 to p2, smoothed and with the caps asked
// for; nullptr, with the profile freed, when memory runs out.
BaseObject* NewBondSweep(SplineObject* profile, const Vector& p1, const Vector& p2, Int32 caps)
{
	// Each spline goes under the sweep as soon as it exists, so that the holder frees whatever was
	// made on every failure path below.
	AutoAlloc<BaseObject> sweep(Osweep);
	if (!sweep)
	{
		SplineObject::Free(profile);
		return nullptr;
	}
	profile->InsertUnder(sweep);
	sweep->MakeTag(Tphong);
	sweep->SetParameter(DescID(CAPSANDBEVELS_CAP_ENABLE_START), GeData(caps), DESCFLAGS_SET::NONE);
	sweep->SetParameter(DescID(CAPSANDBEVELS_CAP_ENABLE_END), GeData(caps), DESCFLAGS_SET::NONE);

	SplineObject* path = SplineObject::Alloc(2, SPLINETYPE::LINEAR);
	if (!path)
		return nullptr;
	path->InsertUnderLast(sweep);
	Vector* pathPoints = path->GetPointW();
	if (!pathPoints)
		return nullptr;
	pathPoints[0] = p1;
	pathPoints[1] = p2;
	return sweep.Release();
}
} // namespace

Float Vireltan::BondRadius(Int32 order) const
{
	if (order == 2 || order == 4)
		return doubleBondFactor * bondRadius;
	if (order == 3)
		return tripleBondFactor * bondRadius;
	return bondRadius;
}

Vector Vireltan::BondColour(Int32 order) const
{
	switch (order)
	{
		case 1: return singleBondColour;
		case 2: return doubleBondColour;
		case 3: return tripleBondColour;
		case 4: return aromaticBondColour;
		default: return Vector(0.0, 0.0, 0.0);
	}
}

BaseObject* Vireltan::BuildBond(Int32 firstAtom, Int32 secondAtom, const Vector& centre, Int32 order)
{
	// Atom numbers that name no stored atom build no bond.
	const Int atomCount = atoms.GetCount();
	if (firstAtom < 1 || firstAtom > atomCount || secondAtom < 1 || secondAtom > atomCount)
		return nullptr;
	// A bond to an atom that cannot be placed cannot be drawn either.
	Vector p1, p2;
	if (!PlaceAtom(atoms[firstAtom - 1].position, centre, positionScale, &p1) ||
		!PlaceAtom(atoms[secondAtom - 1].position, centre, positionScale, &p2))
		return nullptr;

	const Float radius = BondRadius(order);
	if (!std::isfinite(radius))
		return nullptr;
	SplineObject* profile = BuildBondProfile(radius);
	if (!profile)
		return nullptr;
	BaseObject* sweep = NewBondSweep(profile, p1, p2, bondCaps);
	if (!sweep)
		return nullptr;

	const Int32 target = BondMaterialTarget(order);
	const MaterialAssignment* entry = target != MATERIAL_TARGET_NONE ? FindAssignment(target) : nullptr;
	BaseMaterial* material = entry ? entry->material : nullptr;
	SetDisplayColour(sweep, BondColour(order), xray);
	if (material)
		AddTextureTag(sweep, material);

	MarkRole(sweep, ROLE_BOND, order);
	sweep->Message(MSG_UPDATE);
	return sweep;
}

void Vireltan::BuildAtom(Int32 atomIndex, const Vector& centre, HierarchyHelp* hh, BaseObject* root)
{
	const AtomRecord& atom = atoms[atomIndex];
	// An element the table no longer holds (a failed reload) cannot be drawn.
	if (atom.elementIndex < 0 || atom.elementIndex >= elements.GetCount())
		return;
	Vector position;
	if (!PlaceAtom(atom.position, centre, positionScale, &position))
		return;
	BaseContainer sphereData;
	Bool defined = false;
	const Float radius = AtomRadius(atom, &defined);
	if (defined && !std::isfinite(radius))
		return;
	if (defined)
		sphereData.SetFloat(PRIM_SPHERE_RAD, radius);
	sphereData.SetInt32(PRIM_SPHERE_SUB, sphereSegments);
	BaseObject* sphere = GeneratePrimitive(nullptr, Osphere, sphereData, hh->GetLOD(), false, hh->GetThread());
	if (!sphere)
		return;
	sphere->MakeTag(Tphong);
	BaseObject* nucleus = showNucleus ? BuildNucleus(atomIndex, hh) : nullptr;

	const MaterialAssignment* entry = FindAssignment(atom.elementIndex);
	if (entry && entry->material)
		PlaceTexture(AddTextureTag(sphere, entry->material), *entry);
	else
		SetDisplayColour(sphere, AtomColour(atom), xray);
	const String& symbol = elements[atom.elementIndex].symbol;
	sphere->SetName(symbol);
	sphere->SetRelPos(position);
	MarkRole(sphere, ROLE_ATOM, atom.elementIndex);
	sphere->Message(MSG_UPDATE);
	sphere->InsertUnderLast(root);

	// Nuclei go first under the root, each before the nuclei of the atoms before it.
	if (nucleus)
	{
		nucleus->MakeTag(Tphong);
		nucleus->SetName(symbol + String(" nucleus"));
		nucleus->SetRelPos(position);
		MarkRole(nucleus, ROLE_NUCLEUS, atom.elementIndex);
		nucleus->InsertUnder(root);
	}
}

BaseObject* Vireltan::GetVirtualObjects(BaseObject* op, HierarchyHelp* hh)
{
	const Bool rebuild = op->CheckCache(hh) || op->IsDirty(DIRTYFLAGS::DATA);
	if (!rebuild)
		return op->GetCache(hh);

	BaseContainer* bc = op->GetDataInstance();
	if (!bc)
		return nullptr;
	SyncContainerToCache(bc);
	BuildMaterialAssignments(bc, hh->GetDocument());
	const Vector centre = BoundingBoxCentre(atoms);

	BaseObject* root = BaseObject::Alloc(Onull);
	if (!root)
		return nullptr;
	if (displayMode != MOLOBJ_DISPLAY_MODE_BONDS_ONLY)
	{
		for (Int i = 0; i < atoms.GetCount(); ++i)
			BuildAtom(Int32(i), centre, hh, root);
	}
	if (displayMode != MOLOBJ_DISPLAY_MODE_ATOMS_ONLY)
	{
		for (const BondRecord& bond : bonds)
		{
			BaseObject* sweep = BuildBond(bond.firstAtom, bond.secondAtom, centre, bond.order);
			if (sweep)
				sweep->InsertUnderLast(root);
		}
	}
	return root;
}
