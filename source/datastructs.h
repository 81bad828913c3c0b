// Records of the molecule model, the element table, the colour presets and the material table.
#ifndef VIRELTAN_DATASTRUCTS_H__
#define VIRELTAN_DATASTRUCTS_H__

#include <iosfwd>

#include "c4d.h"

// One atom: its element's index in the element table and its position as in the file.
struct AtomRecord
{
	Int32 elementIndex;
	Vector position;
};

// One bond: 1-based atom numbers as in the file's bond block, and the bond type
// (1 single, 2 double, 3 triple, 4 aromatic; other values are kept as read).
struct BondRecord
{
	Int32 firstAtom;
	Int32 secondAtom;
	Int32 order;
};

// One chemical element; its index in the table is its atomic number - 1.
struct ElementRecord
{
	String symbol;
	Vector colour;
	Float64 radiusA;
	Float64 radiusB;
};

// Five atom colours: hydrogen, carbon, oxygen, nitrogen and every other element.
struct ColourPreset
{
	Vector colourH;
	Vector colourC;
	Vector colourO;
	Vector colourN;
	Vector colourOther;
};

// Element indices the colour presets name; the table lists the elements by atomic number.
enum
{
	ELEMENT_HYDROGEN = 0,
	ELEMENT_CARBON = 5,
	ELEMENT_NITROGEN = 6,
	ELEMENT_OXYGEN = 7
};

// Material-group symbols that name no element: bonds by order (1 to 4) and the nuclei.
const char* const BOND_GROUP_SYMBOLS[4] = {"BD1", "BD2", "BD3", "BD4"};
const char* const NUCLEUS_GROUP_SYMBOL = "NUC";

// What a generated object stands for. The object records it in the generated object's container
// as one Int64 under the plug-in's id: the kind in the high 32 bits, and in the low 32 the element
// index of an atom or a nucleus or the order of a bond.
enum
{
	ROLE_ATOM = 1,
	ROLE_NUCLEUS = 2,
	ROLE_BOND = 3
};

inline Int64 PackRole(Int32 kind, Int32 value)
{
	return Int64((UInt64(UInt32(kind)) << 32) | UInt64(UInt32(value)));
}

inline Int32 RoleKind(Int64 role)
{
	return Int32(UInt32(UInt64(role) >> 32));
}

inline Int32 RoleValue(Int64 role)
{
	return Int32(UInt32(UInt64(role)));
}

// Targets of a material assignment besides element indices.
enum
{
	MATERIAL_TARGET_NONE = -1,
	MATERIAL_TARGET_BOND_SINGLE = 1001,
	MATERIAL_TARGET_BOND_DOUBLE = 1002,
	MATERIAL_TARGET_BOND_TRIPLE = 1003,
	MATERIAL_TARGET_BOND_AROMATIC = 1004,
	MATERIAL_TARGET_NUCLEUS = 2000
};

// One material group turned into what it applies to; the material is referenced, not owned.
struct MaterialAssignment
{
	BaseMaterial* material;
	Int32 target;
	Int32 projection;
	Float64 offsetU;
	Float64 offsetV;
	Float64 tilesU;
	Float64 tilesV;
};

// The colour of hexadecimal digits RRGGBB (the element table's and the material colours' form),
// each channel from 0 to 1; error is set when the text is no number.
inline Vector HexColour(const String& digits, Bool* error)
{
	const UInt32 v = (String("0x") + digits).ToUInt32(error);
	return Vector(((v >> 16) & 0xFF) / 255.0, ((v >> 8) & 0xFF) / 255.0, (v & 0xFF) / 255.0);
}

// Index of the first element whose upper-case symbol equals the upper-case, trimmed search
// text; -1 when there is none.
Int32 FindElement(const String& symbol, const maxon::BaseArray<ElementRecord>& elements);

// Reads one line of at most maxChars characters (the rest of a longer line is not consumed and
// the stream fails, as a limited getline does), without its line end: a carriage return before
// the line feed is dropped so that files written on Windows read the same everywhere.
Bool ReadTextLine(std::istream& stream, char* buffer, Int bufferSize);

#endif
