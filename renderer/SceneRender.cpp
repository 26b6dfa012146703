#include "renderer/SceneRender.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <thread>

#include "renderer/Samplers.h"

namespace {

struct Vector {
    double x, y, z;
};

Vector operator+(Vector a, Vector b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vector operator*(Vector a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double Dot(Vector a, Vector b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vector Normalise(Vector a) { return a * (1.0 / std::sqrt(Dot(a, a))); }

// The object turned to show three faces of the cube: yaw, then pitch.
// Rays are turned the other way, into object space.
Vector ToObjectSpace(Vector v) {
    // cos and sin of yaw 0.65 and pitch -0.45 (top face in view), worked out once.
    static const double cy = std::cos(0.65), sy = std::sin(0.65), cp = std::cos(-0.45), sp = std::sin(-0.45);
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
            if (std::fabs(oc[i]) > 1.0) return false;
            continue;
        }
        double t0 = (-1.0 - oc[i]) / dc[i], t1 = (1.0 - oc[i]) / dc[i];
        if (t0 > t1) std::swap(t0, t1);
        if (t0 > nearT) nearT = t0, axis = i;
        farT = std::min(farT, t1);
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
    t = -b - std::sqrt(disc);
    if (t <= 0.0) return false;
    normal = Normalise(o + d * t);
    return true;
}

// A square tile in the plane y = 0, seen from above at the object's pitch.
bool HitPlane(Vector o, Vector d, double& t, Vector& normal) {
    if (d.y == 0.0) return false;
    t = -o.y / d.y;
    Vector p = o + d * t;
    if (t <= 0.0 || std::fabs(p.x) > 1.6 || std::fabs(p.z) > 1.6) return false;
    normal = {0.0, o.y > 0 ? 1.0 : -1.0, 0.0};
    return true;
}

uint8_t ToByte(double value) { return static_cast<uint8_t>(std::clamp(std::lround(value), 0L, 255L)); }

}  // namespace

bool ParseSceneKind(const std::string& name, SceneKind& kind) {
    if (name == "cube") kind = SceneKind::Cube;
    else if (name == "sphere") kind = SceneKind::Sphere;
    else if (name == "plane") kind = SceneKind::Plane;
    else return false;
    return true;
}

SceneHit TraceScene(SceneKind scene, int px, int py, int width, int height) {
    // Camera on the -z axis looking at the origin; the shorter side spans the object.
    double span = 2.0 * 0.42 / std::min(width, height);
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

int DefaultThreadCount() {
    return std::max(1u, std::thread::hardware_concurrency());
}

int EffectiveThreadCount(int requested) {
    return requested > 0 ? requested : DefaultThreadCount();
}

RenderedImage RenderScene(const PluginModule& plugin, const RenderSettings& settings, const RenderProgress& progress) {
    RenderedImage image;
    image.width = settings.width;
    image.height = settings.height;
    image.rgb.assign(static_cast<size_t>(settings.width) * settings.height * 3, 0);
    image.mask.assign(static_cast<size_t>(settings.width) * settings.height, 0);
    const HostFunctionTable* functions = settings.functions ? settings.functions : &NoiseFunctions();
    Vector light = ToObjectSpace(Normalise({-0.4, 0.7, -0.6}));

    // Rows are handed out one at a time; each pixel depends only on its own position.
    std::atomic<int> nextRow{0}, rowsDone{0};
    auto shadeRows = [&](bool reports) {
        for (int y = nextRow++; y < settings.height; y = nextRow++) {
            for (int x = 0; x < settings.width; ++x) {
                size_t index = static_cast<size_t>(y) * settings.width + x;
                uint8_t* pixel = &image.rgb[index * 3];
                SceneHit hit = TraceScene(settings.scene, x, y, settings.width, settings.height);
                if (!hit.hit) {
                    pixel[0] = ToByte(settings.background.r);
                    pixel[1] = ToByte(settings.background.g);
                    pixel[2] = ToByte(settings.background.b);
                    continue;
                }
                float colour[3] = {settings.surface.r, settings.surface.g, settings.surface.b};
                const uint32_t source = 1;
                uint32_t destination = 0;
                plugin.Procedure(0, 0, 0, hit.point[0], hit.point[1], hit.point[2], 0, 0, 0, &source, 0, colour, 0,
                                 &destination, functions);
                image.mask[index] = destination == source ? 255 : 0;

                // Light the shaded colour: ambient plus one diffuse light.
                double facing = hit.normal[0] * light.x + hit.normal[1] * light.y + hit.normal[2] * light.z;
                double shade = 0.35 + 0.65 * std::max(0.0, facing);
                for (int c = 0; c < 3; ++c) pixel[c] = ToByte(colour[c] * shade);
            }
            ++rowsDone;
            if (reports) progress(rowsDone.load(), settings.height);
        }
    };

    // This thread shades too, and is the only one that reports.
    int threads = std::min(EffectiveThreadCount(settings.threads), std::max(1, settings.height));
    std::vector<std::thread> workers;
    for (int i = 1; i < threads; ++i) workers.emplace_back(shadeRows, false);
    shadeRows(static_cast<bool>(progress));
    for (auto& worker : workers) worker.join();
    return image;
}
