// What the host's tools and tests read back from generated objects.
#include "node.h"

namespace vh
{
PrimitiveInfo GetPrimitiveInfo(BaseObject* op)
{
	PrimitiveInfo info;
	const Node* n = Access::Of(op);
	if (!n)
		return info;
	info.type = n->primitiveType;
	info.radius = n->primitiveRadius;
	info.segments = n->primitiveSegments;
	return info;
}

Bool HasColorProperties(BaseObject* op)
{
	const Node* n = Access::Of(op);
	return n && n->colorPropsSet;
}

Int TriangleCount(const PolygonObject* op)
{
	Int n = 0;
	for (Int32 i = 0; op && i < op->GetPolygonCount(); ++i)
		n += op->GetPolygonR()[i].IsTriangle() ? 1 : 2;
	return n;
}
} // namespace vh
