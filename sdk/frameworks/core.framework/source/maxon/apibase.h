// Basic types of the maxon API, as the R26 core.framework declares them.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define MAXON_ATTRIBUTE_DLL_PUBLIC __declspec(dllexport)
#else
#define MAXON_ATTRIBUTE_DLL_PUBLIC __attribute__((visibility("default")))
#endif

#define MAXON_WARN_UNUSED [[nodiscard]]

namespace maxon
{
using Int16 = int16_t;
using UInt16 = uint16_t;
using Int32 = int32_t;
using UInt32 = uint32_t;
using Int64 = int64_t;
using UInt64 = uint64_t;
using Int = Int64;
using UInt = UInt64;
using Float32 = float;
using Float64 = double;
using Float = Float64;
using Bool = bool;
using Char = char;
using UChar = unsigned char;
using Utf16Char = char16_t;
using Utf32Char = char32_t;

template <typename T, int STRIDE = 1>
struct Vec3
{
	T x = T(0);
	T y = T(0);
	T z = T(0);

	constexpr Vec3() = default;
	constexpr Vec3(T ix, T iy, T iz) : x(ix), y(iy), z(iz) {}
	constexpr explicit Vec3(T v) : x(v), y(v), z(v) {}

	constexpr Vec3 operator+(const Vec3& b) const { return Vec3(x + b.x, y + b.y, z + b.z); }
	constexpr Vec3 operator-(const Vec3& b) const { return Vec3(x - b.x, y - b.y, z - b.z); }
	constexpr Vec3 operator-() const { return Vec3(-x, -y, -z); }
	constexpr Vec3 operator*(T s) const { return Vec3(x * s, y * s, z * s); }
	constexpr Vec3 operator/(T s) const { return Vec3(x / s, y / s, z / s); }
	Vec3& operator+=(const Vec3& b) { x += b.x; y += b.y; z += b.z; return *this; }
	Vec3& operator-=(const Vec3& b) { x -= b.x; y -= b.y; z -= b.z; return *this; }
	Vec3& operator*=(T s) { x *= s; y *= s; z *= s; return *this; }
	constexpr bool operator==(const Vec3& b) const { return x == b.x && y == b.y && z == b.z; }
	constexpr bool operator!=(const Vec3& b) const { return !(*this == b); }
	T& operator[](int i) { return i == 0 ? x : (i == 1 ? y : z); }
	const T& operator[](int i) const { return i == 0 ? x : (i == 1 ? y : z); }
};

template <typename T, int S>
constexpr Vec3<T, S> operator*(T s, const Vec3<T, S>& v) { return v * s; }

using Vector = Vec3<Float64, 1>;
using Vector32 = Vec3<Float32, 1>;
using Vector64 = Vec3<Float64, 1>;
} // namespace maxon

using maxon::Int16;
using maxon::UInt16;
using maxon::Int32;
using maxon::UInt32;
using maxon::Int64;
using maxon::UInt64;
using maxon::Int;
using maxon::UInt;
using maxon::Float32;
using maxon::Float64;
using maxon::Float;
using maxon::Bool;
using maxon::Char;
using maxon::UChar;
using maxon::Utf16Char;
using maxon::Utf32Char;
using maxon::Vector;
using maxon::Vector32;
using maxon::Vector64;
