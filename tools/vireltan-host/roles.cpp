// The cache of a molecule object holds, under its root null, the nucleus and atom spheres
// (atoms named after their elements, nuclei "SYMBOL nucleus") and then one sweep per bond, in
// the order of the bonds, for every bond whose atom numbers name stored atoms.
#include "roles.h"

#include <vector>

#include "session.h"
#include "vh/host.h"

namespace tool
{
namespace
{
const std::string NUCLEUS_SUFFIX = " nucleus";

void AddRoles(BaseObject* op, std::unordered_map<BaseObject*, std::string>* roles)
{
	const Vireltan* data = MoleculeData(op);
	BaseObject* root = data ? op->GetCache() : nullptr;
	if (!root)
		return;
	std::vector<BaseObject*> sweeps;
	for (BaseObject* c = root->GetDown(); c; c = c->GetNext())
	{
		if (c->GetType() == Osweep)
		{
			sweeps.push_back(c);
			continue;
		}
		const std::string name = vh::ToUtf8(c->GetName());
		const Bool nucleus = name.size() > NUCLEUS_SUFFIX.size() &&
			name.compare(name.size() - NUCLEUS_SUFFIX.size(), NUCLEUS_SUFFIX.size(), NUCLEUS_SUFFIX) == 0;
		(*roles)[c] = nucleus ? "NUC" : name;
	}
	std::vector<Int32> orders;
	const Int atoms = data->atoms.GetCount();
	for (const BondRecord& b : data->bonds)
	{
		if (b.firstAtom >= 1 && b.firstAtom <= atoms && b.secondAtom >= 1 && b.secondAtom <= atoms)
			orders.push_back(b.order);
	}
	// Any other count means the cache is not the one these bonds built.
	if (orders.size() != sweeps.size())
		return;
	for (size_t i = 0; i < sweeps.size(); ++i)
		(*roles)[sweeps[i]] = "BD" + std::to_string(orders[i]);
}
} // namespace

std::unordered_map<BaseObject*, std::string> MaterialRoles(BaseDocument* doc)
{
	std::unordered_map<BaseObject*, std::string> roles;
	for (BaseObject* op = doc ? doc->GetFirstObject() : nullptr; op; op = op->GetNext())
		AddRoles(op, &roles);
	return roles;
}

namespace
{
// The writer's material names, looked up in the roles map.
vh::MaterialRoleName RoleNames(const std::unordered_map<BaseObject*, std::string>& roles)
{
	return [&roles](BaseObject* op) {
		const auto found = roles.find(op);
		return found == roles.end() ? std::string() : found->second;
	};
}
} // namespace

Bool ExportWithRoles(BaseDocument* doc, const std::string& out, vh::ExportSummary* summary, std::string* error)
{
	const std::unordered_map<BaseObject*, std::string> roles = MaterialRoles(doc);
	return vh::ExportGltf(doc, Filename(vh::FromUtf8(out)), summary, error, RoleNames(roles));
}

Bool ExportBytesWithRoles(BaseDocument* doc, std::string& bytes, vh::ExportSummary* summary, std::string* error)
{
	const std::unordered_map<BaseObject*, std::string> roles = MaterialRoles(doc);
	return vh::ExportGltfBytes(doc, bytes, summary, error, RoleNames(roles));
}
} // namespace tool
