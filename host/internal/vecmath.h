// Vector maths shared by the host's own geometry and its glTF export.
#pragma once

#include <cmath>

#include "maxon/apibase.h"

namespace vh
{
inline Float Dot(const Vector& a, const Vector& b)
{
	return a.x * b.x + a.y * b.y + a.z * b.z;
}

inline Vector Cross(const Vector& a, const Vector& b)
{
	return Vector(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}

inline Float Length(const Vector& v)
{
	return std::sqrt(Dot(v, v));
}

inline Bool IsZero(const Vector& v)
{
	return v.x == 0.0 && v.y == 0.0 && v.z == 0.0;
}

// Unit vector, or the zero vector when v is no longer than minLength or not finite. There is no
// default: how short a vector may be and still have a direction depends on what it measures.
inline Vector Normalized(const Vector& v, Float minLength)
{
	const Float len = Length(v);
	if (!(len > minLength) || !std::isfinite(len))
		return Vector();
	return v / len;
}
} // namespace vh
