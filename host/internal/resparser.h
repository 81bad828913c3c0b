// The reader of description resources (.res): elements, their settings and labels.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "reslexer.h"
#include "resource.h"

namespace vh
{
using SymbolMap = std::map<std::string, Int32>;

struct Label
{
	std::string longText;
	std::string shortText;
};

struct Element
{
	Int32 id = 0;
	Int32 dtype = 0;
	std::string symbol; // empty for anonymous groups and separators and for host groups
	Bool own = true;
	Bool hasParent = false;
	Int32 parent = 0;
	BaseContainer settings;
	Int line = 0;
};

// Reads the tokens of one .res file against its symbols (.h) and labels (.str, named strFile in
// messages): the container's name and its elements, base description entries included.
Bool ParseResFile(const std::vector<Token>& tokens, const std::string& file, const std::string& strFile, const SymbolMap& symbols,
	const std::map<std::string, Label>& labels, std::string& containerName, std::vector<Element>& out, ResourceError& err);
} // namespace vh
