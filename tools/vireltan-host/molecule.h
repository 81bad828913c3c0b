// The one door from outside the plug-in (the tool, tests, fuzz harnesses, benchmarks) to a
// molecule object: its data, checked by the plug-in id, and what the object recorded about the
// objects it generated. The module is built from the same sources, so its members' layout is known.
#pragma once

#include <string>

#include "c4d.h"
#include "vh/host.h"
#include "vireltan.h"

namespace molecule
{
// The molecule object's data behind op; nullptr when op is no molecule object.
inline Vireltan* Data(BaseObject* op)
{
	if (!op || op->GetType() != ID_VIRELTAN)
		return nullptr;
	return static_cast<Vireltan*>(op->GetNodeData());
}

// What a generated object stands for: ROLE_ATOM or ROLE_NUCLEUS with an element index, ROLE_BOND
// with a bond order.
struct Role
{
	Int32 kind = 0;
	Int32 value = 0;
};

// The role the molecule object recorded on a generated object; false for any other object.
inline Bool RoleOf(BaseObject* generated, Role* role)
{
	const BaseContainer* data = generated ? generated->GetDataInstance() : nullptr;
	if (!data || data->GetData(ID_VIRELTAN).GetType() != DA_LLONG)
		return false;
	const Int64 packed = data->GetInt64(ID_VIRELTAN);
	role->kind = RoleKind(packed);
	role->value = RoleValue(packed);
	return role->kind == ROLE_ATOM || role->kind == ROLE_NUCLEUS || role->kind == ROLE_BOND;
}

// The material-group symbol of a role: the element's symbol for an atom, BD1..BD4 (BDn for
// another order) for a bond, NUC for a nucleus; empty when the element table does not hold it.
inline std::string RoleName(const Role& role, const Vireltan& data)
{
	switch (role.kind)
	{
		case ROLE_NUCLEUS:
			return NUCLEUS_GROUP_SYMBOL;
		case ROLE_BOND:
			if (role.value >= 1 && role.value <= 4)
				return BOND_GROUP_SYMBOLS[role.value - 1];
			return "BD" + std::to_string(role.value);
		case ROLE_ATOM:
		{
			if (role.value < 0 || role.value >= data.elements.GetCount())
				return std::string();
			return vh::ToUtf8(data.elements[role.value].symbol);
		}
		default:
			return std::string();
	}
}

// True when the outcome of the object's last load says its file could not be read.
inline Bool LoadFailed(const Vireltan& data)
{
	return data.loadOutcome == LOAD_OUTCOME_FAILED;
}
} // namespace molecule
