#include "scene/Scene.h"

namespace {

struct Vector {
    double x, y, z;
};

Vector operator+(Vector a, Vector b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vector operator*(Vector a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double Dot(Vector a, Vector b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
// The builtin is the SSE2 square root, correctly rounded, no library call.
Vector Normalise(Vector a) { return a * (1.0 / __builtin_sqrt(Dot(a, a))); }

// The object turned to show three faces of the cube: yaw, then pitch.
// Rays are turned the other way, into object space.
Vector ToObjectSpace(Vector v) {
    // cos and sin of yaw 0.65 and pitch -0.45 (top face in view), correctly rounded.
    const double cy = 0x1.97984baf498c2p-1, sy = 0x1.35dafe193d7abp-1;
    const double cp = 0x1.cd076710c3f2dp-1, sp = -0x1.bd679adf94625p-2;
    Vector a{v.x, cp * v.y + sp * v.z, -sp * v.y + cp * v.z};  // undo pitch about x
    return {cy * a.x - sy * a.z, a.y, sy * a.x + cy * a.z};     // undo yaw about y
}

// Nearest entry into the box |x|,|y|,|z| <= 1 (slab test).
bool HitCube(Vector o, Vector d, double& t, Vector& normal) {
    double nearT = -1e30, farT = 1e30;
    int axis = 0;
    double oc[3] = {o.x, o.y, o.z}, dc[3] = {d.x, d.y, d.z};
    for (int i = 0; i < 3; ++i) {
        if (dc[i] == 0.0) {
            if (__builtin_fabs(oc[i]) > 1.0) return false;
            continue;
        }
        double t0 = (-1.0 - oc[i]) / dc[i], t1 = (1.0 - oc[i]) / dc[i];
        if (t0 > t1) {
            double swap = t0;
            t0 = t1, t1 = swap;
        }
        if (t0 > nearT) nearT = t0, axis = i;
        if (t1 < farT) farT = t1;
    }
    if (nearT > farT || nearT <= 0.0) return false;
    t = nearT;
    double n[3] = {0, 0, 0};
    n[axis] = dc[axis] > 0 ? -1.0 : 1.0;
    normal = {n[0], n[1], n[2]};
    return true;
}

bool HitSphere(Vector o, Vector d, double& t, Vector& normal) {
    const double radius = 1.25;
    double b = Dot(o, d), c = Dot(o, o) - radius * radius, disc = b * b - c;
    if (disc < 0.0) return false;
    t = -b - __builtin_sqrt(disc);
    if (t <= 0.0) return false;
    normal = Normalise(o + d * t);
    return true;
}

// A square tile in the plane y = 0, seen from above at the object's pitch.
bool HitPlane(Vector o, Vector d, double& t, Vector& normal) {
    if (d.y == 0.0) return false;
    t = -o.y / d.y;
    Vector p = o + d * t;
    if (t <= 0.0 || __builtin_fabs(p.x) > 1.6 || __builtin_fabs(p.z) > 1.6) return false;
    normal = {0.0, o.y > 0 ? 1.0 : -1.0, 0.0};
    return true;
}

// Nearest byte, halves away from zero, saturated at 0 and 255 (NaN gives 0).
uint8_t ToByte(double value) {
    if (!(value > 0.0)) return 0;
    if (value >= 255.0) return 255;
    int whole = static_cast<int>(value);  // below 255, so the difference is exact
    return static_cast<uint8_t>(value - whole >= 0.5 ? whole + 1 : whole);
}

void StorePixel(uint8_t* pixel, ChannelOrder order, uint8_t red, uint8_t green, uint8_t blue) {
    pixel[0] = order == ChannelOrder::Rgb ? red : blue;
    pixel[1] = green;
    pixel[2] = order == ChannelOrder::Rgb ? blue : red;
}

}  // namespace

SceneHit TraceScene(SceneKind scene, int px, int py, int width, int height) {
    // Camera on the -z axis looking at the origin; the shorter side spans the object.
    double span = 2.0 * 0.42 / (width < height ? width : height);
    Vector direction{(px + 0.5 - width / 2.0) * span, -(py + 0.5 - height / 2.0) * span, 1.0};
    Vector origin = ToObjectSpace({0.0, 0.0, -5.0});
    direction = ToObjectSpace(Normalise(direction));

    double t = 0.0;
    Vector normal{};
    bool hit = scene == SceneKind::Cube     ? HitCube(origin, direction, t, normal)
               : scene == SceneKind::Sphere ? HitSphere(origin, direction, t, normal)
                                            : HitPlane(origin, direction, t, normal);
    SceneHit result;
    if (!hit) return result;
    Vector p = origin + direction * t;
    result.hit = true;
    result.point[0] = static_cast<float>(p.x);
    result.point[1] = static_cast<float>(p.y);
    result.point[2] = static_cast<float>(p.z);
    result.normal[0] = static_cast<float>(normal.x);
    result.normal[1] = static_cast<float>(normal.y);
    result.normal[2] = static_cast<float>(normal.z);
    return result;
}

void RenderSceneRow(const SceneView& view, int y, uint8_t* pixels, ChannelOrder order, uint8_t* fullStain) {
    Vector light = ToObjectSpace(Normalise({-0.4, 0.7, -0.6}));
    for (int x = 0; x < view.width; ++x) {
        uint8_t* pixel = pixels + x * 3;
        bool stained = false;
        SceneHit hit = TraceScene(view.scene, x, y, view.width, view.height);
        if (!hit.hit) {
            StorePixel(pixel, order, ToByte(view.background.r), ToByte(view.background.g),
                       ToByte(view.background.b));
        } else {
            float colour[3] = {view.surface.r, view.surface.g, view.surface.b};
            stained = view.shade(view.context, hit.point, colour);

            // Light the shaded colour: ambient plus one diffuse light.
            double facing = hit.normal[0] * light.x + hit.normal[1] * light.y + hit.normal[2] * light.z;
            double shade = 0.35 + 0.65 * (facing > 0.0 ? facing : 0.0);
            StorePixel(pixel, order, ToByte(colour[0] * shade), ToByte(colour[1] * shade), ToByte(colour[2] * shade));
        }
        if (fullStain != nullptr) fullStain[x] = stained ? 255 : 0;
    }
}

void RenderSceneRows(const SceneView& view, const PixelRows& rows) {
    for (int y = 0; y < view.height; ++y) RenderSceneRow(view, y, rows.top + y * rows.stride, rows.order, nullptr);
}
