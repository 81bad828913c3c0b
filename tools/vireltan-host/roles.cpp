// Material roles as the molecule object recorded them on the objects it generated.
#include "roles.h"

#include "molecule.h"
#include "session.h"
#include "vh/host.h"

namespace tool
{
namespace
{
void AddRoles(BaseObject* op, std::unordered_map<BaseObject*, std::string>* roles)
{
	const Vireltan* data = molecule::Data(op);
	BaseObject* root = data ? op->GetCache() : nullptr;
	if (!root)
		return;
	for (BaseObject* c = root->GetDown(); c; c = c->GetNext())
	{
		molecule::Role role;
		if (!molecule::RoleOf(c, &role))
			continue;
		const std::string name = molecule::RoleName(role, *data);
		if (!name.empty())
			(*roles)[c] = name;
	}
}

// The writer's material names, looked up in the roles map.
vh::MaterialRoleName RoleNames(const std::unordered_map<BaseObject*, std::string>& roles)
{
	return [&roles](BaseObject* op) {
		const auto found = roles.find(op);
		return found == roles.end() ? std::string() : found->second;
	};
}
} // namespace

std::unordered_map<BaseObject*, std::string> MaterialRoles(BaseDocument* doc)
{
	std::unordered_map<BaseObject*, std::string> roles;
	for (BaseObject* op = doc ? doc->GetFirstObject() : nullptr; op; op = op->GetNext())
		AddRoles(op, &roles);
	return roles;
}

Bool ExportWithRoles(BaseDocument* doc, const std::string& out, vh::ExportSummary* summary, std::string* error, bool merged)
{
	const std::unordered_map<BaseObject*, std::string> roles = MaterialRoles(doc);
	vh::ExportOptions options;
	options.merged = merged;
	return vh::ExportGltf(doc, Filename(vh::FromUtf8(out)), summary, error, RoleNames(roles), options);
}

Bool ExportBytesWithRoles(BaseDocument* doc, std::string& bytes, vh::ExportSummary* summary, std::string* error)
{
	const std::unordered_map<BaseObject*, std::string> roles = MaterialRoles(doc);
	return vh::ExportGltfBytes(doc, bytes, summary, error, RoleNames(roles));
}
} // namespace tool
