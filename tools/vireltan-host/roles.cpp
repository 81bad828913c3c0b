// Material roles as the molecule object recorded them on the objects it generated.
#include "roles.h"

#include <utility>
#include <vector>

#include "molecule.h"
#include "session.h"
#include "vh/host.h"

namespace tool
{
vh::MaterialRoleName MaterialRoles(BaseDocument* doc)
{
	// The cache root of each molecule object with its data: a role is looked up when the writer
	// asks for it, so an export holds no table of a name for every atom and bond.
	std::vector<std::pair<BaseObject*, const Vireltan*>> roots;
	for (BaseObject* op = doc ? doc->GetFirstObject() : nullptr; op; op = op->GetNext())
	{
		const Vireltan* data = molecule::Data(op);
		if (BaseObject* root = data ? op->GetCache() : nullptr)
			roots.emplace_back(root, data);
	}
	return [roots = std::move(roots)](BaseObject* op) {
		BaseObject* up = op ? op->GetUp() : nullptr;
		for (const auto& [root, data] : roots)
		{
			molecule::Role role;
			if (up == root && molecule::RoleOf(op, &role))
				return molecule::RoleName(role, *data);
		}
		return std::string();
	};
}

Bool ExportWithRoles(BaseDocument* doc, const std::string& out, vh::ExportSummary* summary, std::string* error, bool merged)
{
	vh::ExportOptions options;
	options.merged = merged;
	return vh::ExportGltf(doc, Filename(vh::FromUtf8(out)), summary, error, MaterialRoles(doc), options);
}

Bool ExportBytesWithRoles(BaseDocument* doc, std::string& bytes, vh::ExportSummary* summary, std::string* error)
{
	return vh::ExportGltfBytes(doc, bytes, summary, error, MaterialRoles(doc));
}
} // namespace tool
