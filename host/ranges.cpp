// The ranges description resources give numeric parameters, and holding values to them.
#include <cmath>

#include "resource.h"

namespace vh
{
namespace
{
Float Number(const GeData& d) { return d.GetType() == DA_LONG ? Float(d.GetInt32()) : d.GetFloat(); }

Bool IsNumber(const GeData* d) { return d && (d->GetType() == DA_LONG || d->GetType() == DA_REAL); }

ParamRange RangeOf(const BaseContainer& settings)
{
	ParamRange r;
	if (const GeData* d = &settings.GetData(DESC_MIN); IsNumber(d))
	{
		r.hasMin = true;
		r.min = Number(*d);
	}
	if (const GeData* d = &settings.GetData(DESC_MAX); IsNumber(d))
	{
		r.hasMax = true;
		r.max = Number(*d);
	}
	r.minExclusive = settings.GetBool(DESC_MINEX);
	r.maxExclusive = settings.GetBool(DESC_MAXEX);
	if (const BaseContainer* cycle = settings.GetContainerInstance(DESC_CYCLE))
		for (Int32 i = 0; i < cycle->GetCount(); ++i)
			r.cycle.push_back(cycle->GetIndexId(i));
	return r;
}

// The value nearest to v that the range allows; an exclusive bound gives the next value inside it.
Float Held(const ParamRange& r, Float v, Bool integer)
{
	if (!r.cycle.empty())
	{
		for (Int32 c : r.cycle)
			if (Float(c) == v)
				return v;
		return Float(r.cycle.front());
	}
	if (r.hasMin && !(v > r.min || (v == r.min && !r.minExclusive)))
		v = !r.minExclusive ? r.min : integer ? r.min + 1.0 : std::nextafter(r.min, HUGE_VAL);
	if (r.hasMax && !(v < r.max || (v == r.max && !r.maxExclusive)))
		v = !r.maxExclusive ? r.max : integer ? r.max - 1.0 : std::nextafter(r.max, -HUGE_VAL);
	// NaN with no lower bound: the range says nothing better than zero.
	return std::isnan(v) ? 0.0 : v;
}
} // namespace

Bool DescriptionRange(const String& descriptionName, Int32 id, ParamRange* range)
{
	StaticDescriptionRef sd = FindStaticDescription(descriptionName);
	if (!sd)
		return false;
	for (const DescEntry& e : sd->entries)
	{
		if (e.id.GetDepth() > 0 && e.id[0].id == id)
		{
			*range = RangeOf(e.settings);
			return true;
		}
	}
	return false;
}

Bool InRange(const ParamRange& r, Float value)
{
	if (std::isnan(value))
		return false;
	if (!r.cycle.empty())
	{
		for (Int32 c : r.cycle)
			if (Float(c) == value)
				return true;
		return false;
	}
	if (r.hasMin && (value < r.min || (value == r.min && r.minExclusive)))
		return false;
	return !(r.hasMax && (value > r.max || (value == r.max && r.maxExclusive)));
}

Int HoldToDescription(Int32 pluginId, BaseContainer& bc)
{
	StaticDescriptionRef sd = FindStaticDescription(pluginId);
	if (!sd)
		return 0;
	Int changed = 0;
	for (const DescEntry& e : sd->entries)
	{
		if (e.id.GetDepth() == 0)
			continue;
		const Int32 id = e.id[0].id;
		const GeData* d = &bc.GetData(id);
		if (!IsNumber(d))
			continue;
		const ParamRange r = RangeOf(e.settings);
		const Float v = Number(*d);
		if (InRange(r, v))
			continue;
		if (d->GetType() == DA_LONG)
			bc.SetInt32(id, Int32(Held(r, v, true)));
		else
			bc.SetFloat(id, Held(r, v, false));
		++changed;
	}
	return changed;
}
} // namespace vh
