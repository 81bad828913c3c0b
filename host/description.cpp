// Descriptions: the static entries a plug-in's .res defines, plus those its GetDDescription adds.
#include <algorithm>
#include <iterator>
#include <limits>
#include <new>
#include <unordered_map>

#include "resource.h"

namespace vh
{
struct DescriptionState
{
	std::vector<DescEntry> entries;
	std::unordered_multimap<Int32, size_t> byId; // level-0 id -> index into entries
	Bool single = false;
	DescID singleId;

	void Assign(const std::vector<DescEntry>& from)
	{
		std::vector<DescEntry> copy(from);
		std::unordered_multimap<Int32, size_t> index;
		for (size_t i = 0; i < copy.size(); ++i)
			index.emplace(copy[i].id[0].id, i);
		entries.swap(copy);
		byId.swap(index);
	}

	DescEntry* Find(const DescID& id)
	{
		auto range = byId.equal_range(id[0].id);
		for (auto it = range.first; it != range.second; ++it)
			if (entries[it->second].id == id)
				return &entries[it->second];
		return nullptr;
	}
	const DescEntry* Find(const DescID& id) const { return const_cast<DescriptionState*>(this)->Find(id); }
};

namespace
{
constexpr Int32 kCustomGuiFilename = 1000478;

Bool LoadStatic(Description* d, const StaticDescriptionRef& sd)
{
	if (!d || !d->_state || !sd)
		return false;
	try
	{
		d->_state->Assign(sd->entries);
	}
	catch (const std::bad_alloc&)
	{
		return false;
	}
	return true;
}
} // namespace

std::vector<DescEntry> DescriptionEntries(const Description* d)
{
	if (!d || !d->_state)
		return {};
	return d->_state->entries;
}

Int32 DescriptionSymbolId(const String& descriptionName, const std::string& symbol)
{
	StaticDescriptionRef sd = FindStaticDescription(descriptionName);
	if (sd)
		for (const ParamInfo& p : sd->parameters)
			if (p.symbol == symbol)
				return p.id;
	return -1;
}

std::vector<std::pair<std::string, Int32>> DescriptionSymbols(const String& descriptionName)
{
	std::vector<std::pair<std::string, Int32>> out;
	if (StaticDescriptionRef sd = FindStaticDescription(descriptionName))
		for (const ParamInfo& p : sd->parameters)
			out.emplace_back(p.symbol, p.id);
	return out;
}

std::vector<ParamInfo> DescriptionParameters(const String& descriptionName)
{
	StaticDescriptionRef sd = FindStaticDescription(descriptionName);
	return sd ? sd->parameters : std::vector<ParamInfo>();
}
} // namespace vh

Description* Description::Alloc()
{
	Description* d = new (std::nothrow) Description();
	if (!d)
		return nullptr;
	d->_state = new (std::nothrow) vh::DescriptionState();
	if (!d->_state)
	{
		delete d;
		return nullptr;
	}
	return d;
}

void Description::Free(Description*& d)
{
	if (!d)
		return;
	delete d->_state;
	delete d;
	d = nullptr;
}

Bool Description::LoadDescription(Int32 id)
{
	return vh::LoadStatic(this, vh::FindStaticDescription(id));
}

Bool Description::LoadDescription(const String& id)
{
	return vh::LoadStatic(this, vh::FindStaticDescription(id));
}

const DescID* Description::GetSingleDescID()
{
	return _state && _state->single ? &_state->singleId : nullptr;
}

void Description::SetSingleDescriptionMode(const DescID& descid)
{
	if (!_state)
		return;
	// An empty id asks for the whole description again.
	_state->single = descid.GetDepth() > 0;
	_state->singleId = descid;
}

Bool Description::SetParameter(const DescID& id, const BaseContainer& param, const DescID& groupid)
{
	if (!_state || id.GetDepth() == 0)
		return false;
	// A single-parameter request holds no groups to check the parent against.
	if (groupid.GetDepth() > 0 && !_state->single)
	{
		const vh::DescEntry* parent = _state->Find(groupid);
		if (!parent || parent->id[0].dtype != DTYPE_GROUP)
			return false;
	}
	if (!vh::ConsumeAllocation(vh::AllocKind::MEMORY))
		return false;
	try
	{
		vh::DescEntry entry{id, param, groupid};
		if (groupid.GetDepth() > 0)
			entry.settings.SetInt32(DESC_PARENTGROUP, groupid[0].id);
		else
			entry.settings.RemoveData(DESC_PARENTGROUP);
		if (vh::DescEntry* existing = _state->Find(id))
		{
			*existing = std::move(entry);
			return true;
		}
		_state->entries.push_back(std::move(entry));
		_state->byId.emplace(id[0].id, _state->entries.size() - 1);
	}
	catch (const std::bad_alloc&)
	{
		return false;
	}
	return true;
}

const BaseContainer* Description::GetParameter(const DescID& id, BaseContainer& temp, AtomArray*) const
{
	const vh::DescEntry* e = _state ? _state->Find(id) : nullptr;
	if (!e)
		return nullptr;
	temp = e->settings;
	return &temp;
}

BaseContainer* Description::GetParameterI(const DescID& id, AtomArray*)
{
	vh::DescEntry* e = _state ? _state->Find(id) : nullptr;
	return e ? &e->settings : nullptr;
}

namespace
{
// Whether parameters of a type animate, and the interface that shows them (0: none).
struct TypeDefaults
{
	Int32 dtype;
	Int32 animate;
	Int32 gui;
};
const TypeDefaults kTypeDefaults[] = {{DTYPE_LONG, DESC_ANIMATE_ON, CUSTOMGUI_LONG}, {DTYPE_REAL, DESC_ANIMATE_ON, CUSTOMGUI_REAL},
	{DTYPE_VECTOR, DESC_ANIMATE_ON, CUSTOMGUI_VECTOR}, {DTYPE_BOOL, DESC_ANIMATE_ON, CUSTOMGUI_BOOL},
	{DTYPE_STRING, DESC_ANIMATE_ON, CUSTOMGUI_STRING}, {DTYPE_COLOR, DESC_ANIMATE_ON, CUSTOMGUI_COLOR},
	{DTYPE_FILENAME, DESC_ANIMATE_ON, vh::kCustomGuiFilename}, {DTYPE_BASELISTLINK, DESC_ANIMATE_ON, CUSTOMGUI_LINKBOX},
	{DTYPE_BUTTON, DESC_ANIMATE_OFF, CUSTOMGUI_BUTTON}, {DTYPE_GROUP, DESC_ANIMATE_OFF, 0},
	{DTYPE_SEPARATOR, DESC_ANIMATE_OFF, CUSTOMGUI_SEPARATOR}, {DTYPE_STATICTEXT, DESC_ANIMATE_OFF, CUSTOMGUI_STATICTEXT}};
} // namespace

BaseContainer GetCustomDataTypeDefault(Int32 type)
{
	constexpr Float kFloatLimit = 1.0e20;
	BaseContainer bc;
	const TypeDefaults* d = std::find_if(std::begin(kTypeDefaults), std::end(kTypeDefaults), [type](const TypeDefaults& t) { return t.dtype == type; });
	if (d == std::end(kTypeDefaults))
		return bc;
	bc.SetInt32(DESC_ANIMATE, d->animate);
	if (d->gui != 0)
		bc.SetInt32(DESC_CUSTOMGUI, d->gui);
	if (type == DTYPE_LONG)
	{
		bc.SetInt32(DESC_UNIT, DESC_UNIT_INT);
		bc.SetInt32(DESC_MIN, std::numeric_limits<Int32>::min());
		bc.SetInt32(DESC_MAX, std::numeric_limits<Int32>::max());
		bc.SetInt32(DESC_STEP, 1);
	}
	else if (type == DTYPE_REAL || type == DTYPE_VECTOR)
	{
		bc.SetInt32(DESC_UNIT, DESC_UNIT_FLOAT);
		bc.SetFloat(DESC_MIN, -kFloatLimit);
		bc.SetFloat(DESC_MAX, kFloatLimit);
		bc.SetFloat(DESC_STEP, 1.0);
	}
	else if (type == DTYPE_GROUP)
	{
		bc.SetInt32(DESC_COLUMNS, 1);
	}
	return bc;
}
