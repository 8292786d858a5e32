#pragma once
#include <array>
#include <cmath>
#include <numbers>

// For the games that give the car's attitude as unit vectors on the world axes (DiRT Rally 2.0's
// standard output, EA WRC): the vector arithmetic their readers share.
namespace tarvelmond {

using Vector3 = std::array<double, 3>;

inline double dot(const Vector3& a, const Vector3& b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

inline Vector3 cross(const Vector3& a, const Vector3& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

// The games send unit vectors; menus and loading screens send zero vectors, and a vector that is not
// finite or not of unit length holds no direction.
inline bool isUnit(const Vector3& v) {
    const double length = std::sqrt(dot(v, v));
    return std::isfinite(length) && std::fabs(length - 1.0) < 0.01;
}

// An angle's change, folded into -pi..pi so that a heading crossing the seam stays a small turn.
inline double angleChange(double now, double before) {
    return std::remainder(now - before, 2.0 * std::numbers::pi);
}

}  // namespace tarvelmond
