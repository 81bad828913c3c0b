// The document the tool drives and the actions a user takes on its molecule object, as the
// attribute panel and the host would take them.
#pragma once

#include <string>
#include <vector>

#include "c4d.h"
// The module is built from these sources in the same build, so the tool may read the object's
// members to report the molecule it holds.
#include "vireltan.h"

namespace tool
{
// A command line or script the user must change; exits 2 with the message.
struct UsageError
{
	std::string message;
};

// The text with control bytes (a line end, an escape sequence, a tab) written as \xNN, so that a
// file name or a record's first line shown in a message can neither break the line nor drive the terminal.
std::string Printable(const std::string& text);

// The molecule object's data behind op, to read; nullptr when op is not a molecule object. The
// only way the tool reaches the plug-in's members: it changes the object only as a user does.
const Vireltan* MoleculeData(BaseObject* op);

// The current document and its molecule object, as the steps change them.
struct Session
{
	BaseDocument* doc = nullptr;
	BaseObject* op = nullptr;
	std::string baseFolder = ".";
	Bool initOk = false; // the object's Init succeeded (it reads the element table)

	Session() = default;
	Session(const Session&) = delete;
	Session& operator=(const Session&) = delete;
	~Session();
	// A new document holding one new molecule object.
	Bool NewDocument();
	// A relative path is taken from baseFolder (the script's folder).
	std::string Resolve(const std::string& path) const;
};

// Whether a description element of this type holds a value (not a group, button or separator).
Bool HasValue(Int32 dtype);

Int32 ParseInt(const std::string& text, const std::string& what);
Float ParseFloat(const std::string& text, const std::string& what);
Bool ParseBool(const std::string& text, const std::string& what);

// Why the object's element table cannot serve an export; empty when it can.
std::string ElementTableProblem(Session& s);
// Whether a material group symbol names something the object colours: an element of its table
// (letter case and blanks aside), BD1..BD4 (bonds by order) or NUC (nuclei).
Bool KnownGroupSymbol(Session& s, const std::string& symbol);

// Sets a parameter by its description symbol as the attribute panel does: set, then tell the object.
void SetParameter(Session& s, const std::string& name, const std::string& value);
// Presses a button by symbol or numeric id, then shows the panel again.
void Press(Session& s, const std::string& name);
// SYMBOL[:NAME][:#RRGGBB]: a new document material and a material group using it.
void AddMaterial(Session& s, const std::string& spec);
// One field of material group `index` (symbol, material, use, projection, offsetU/V, tilesU/V).
void SetGroupField(Session& s, const std::string& index, const std::string& field, const std::string& value);
// Names the molecule file and presses "load".
void Load(Session& s, const std::string& file);

// What export and dump are given on the command line.
struct MoleculeOptions
{
	std::string molfile;
	std::vector<std::string> sets; // NAME=VALUE
	std::vector<std::string> materials; // SYMBOL[:NAME][:#RRGGBB]
};

// Sets the parameters and adds the material groups the options give.
void ApplyOptions(Session& s, const MoleculeOptions& options);
// Applies the options to the session's object, loads the molecule file and evaluates the document.
// False when the object reported that the file could not be read.
Bool LoadMolecule(Session& s, const MoleculeOptions& options);
} // namespace tool
