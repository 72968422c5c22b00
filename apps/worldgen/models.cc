#include "apps/worldgen/models.h"

#include <cmath>

#include "apps/worldgen/catalogue.h"
#include "quillmoor/authoring/gfx_obj_writer.h"
#include "quillmoor/authoring/setup_model_writer.h"
#include "quillmoor/dat/gfx_obj.h"
#include "quillmoor/dat/setup_model.h"

namespace quillmoor::worldgen {

namespace {

using dat::BspNode;

std::vector<Vector3> box(float hx, float hy, float h, float cx = 0, float cy = 0, float z0 = 0) {
  std::vector<Vector3> v;
  for (int k = 0; k < 8; ++k) {
    v.push_back({cx + ((k & 1) ? hx : -hx), cy + ((k & 2) ? hy : -hy), z0 + ((k & 4) ? h : 0.0f)});
  }
  return v;
}

// A ring of `sides` points at z0 and, when `apex` > z0, one point above its
// centre (a cone); otherwise a second ring at `top` (a prism).
std::vector<Vector3> ring_solid(float radius, int sides, float z0, float top, bool cone) {
  std::vector<Vector3> v;
  for (int k = 0; k < sides; ++k) {
    const float a = static_cast<float>(k) * (6.2831855f / static_cast<float>(sides));
    v.push_back({radius * std::cos(a), radius * std::sin(a), z0});
  }
  if (cone) {
    v.push_back({0.0f, 0.0f, top});
  } else {
    for (int k = 0; k < sides; ++k) v.push_back({v[k].x, v[k].y, top});
  }
  return v;
}

Sphere bounding_sphere(const std::vector<Vector3>& points) {
  float r = 0;
  for (const auto& p : points) r = std::max(r, std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z));
  return Sphere{{0, 0, 0}, r};
}

Plane plane(float nx, float ny, float nz, float d) { return Plane{{nx, ny, nz}, d}; }

BspNode leaf(std::uint32_t index, std::uint8_t kind, const Sphere& s, std::vector<std::uint16_t> polys) {
  dat::BspLeaf l;
  l.leaf_index = index;
  if (kind == dat::kBspPhysicsTree) {
    l.solid = index % 2;
    l.sphere = s;
    l.poly_ids = std::move(polys);
  }
  return BspNode(std::move(l));
}

BspNode internal(const char (&tag)[5], const Plane& p, std::uint8_t kind, const Sphere& s,
                 std::vector<std::uint16_t> polys, BspNode* pos, BspNode* neg) {
  dat::InternalNode n;
  for (int k = 0; k < 4; ++k) n.node_type[k] = tag[k];
  n.plane = p;
  if (pos) n.pos_child = std::make_unique<BspNode>(std::move(*pos));
  if (neg) n.neg_child = std::make_unique<BspNode>(std::move(*neg));
  if (kind != dat::kBspCellTree) n.sphere = s;
  if (kind != dat::kBspPhysicsTree && kind != dat::kBspCellTree) n.poly_ids = std::move(polys);
  return BspNode(std::move(n));
}

// A tree that, across the variants, uses every node form: leaves, portals
// (drawing trees) and the internal tags with both, one or no children,
// including one the format does not know.
BspNode feature_tree(std::uint8_t kind, int variant, const Sphere& s) {
  BspNode a = leaf(0, kind, s, {0, 1});
  BspNode b = leaf(1, kind, s, {2});
  BspNode c = leaf(2, kind, s, {});
  switch (variant % 4) {
    case 0: {
      BspNode right = internal("BPnn", plane(0, 1, 0, 0), kind, s, {1}, &b, nullptr);
      return internal("BPIN", plane(1, 0, 0, 0), kind, s, {0, 1, 2}, &a, &right);
    }
    case 1: {
      BspNode left = internal("BpIN", plane(0, 0, 1, -1), kind, s, {2}, nullptr, &c);
      BspNode odd = internal("QMXX", plane(0, 1, 0, 2), kind, s, {3}, nullptr, nullptr);  // unknown tag: no children
      BspNode right = internal("BPnN", plane(0, 1, 0, 0), kind, s, {}, &b, &odd);
      return internal("BPIN", plane(1, 0, 0, 0), kind, s, {0}, &left, &right);
    }
    case 2: {
      BspNode inner = internal("BPIn", plane(0, 1, 0, 0), kind, s, {0}, &a, nullptr);
      BspNode empty = internal("BpIn", plane(0, 0, 1, 0), kind, s, {1}, nullptr, nullptr);  // c1 p needs c3 N
      BspNode neg = internal("BpnN", plane(1, 1, 0, 0), kind, s, {2}, nullptr, &empty);
      return internal("BPIN", plane(1, 0, 0, 0), kind, s, {}, &inner, &neg);
    }
    default: {
      if (kind != dat::kBspDrawingTree) return internal("BPIN", plane(1, 0, 0, 0), kind, s, {0}, &a, &b);
      dat::BspPortal portal;
      portal.plane = plane(0, 0, 1, 0);
      portal.pos_child = std::make_unique<BspNode>(std::move(a));
      portal.neg_child = std::make_unique<BspNode>(std::move(b));
      portal.sphere = s;
      portal.poly_ids = {0, 1, 2};
      portal.portals = {{3, 9}, {4, 1}};
      BspNode port(std::move(portal));
      return internal("BPIn", plane(1, 0, 0, 0), kind, s, {0}, &port, nullptr);
    }
  }
}

// Polygons over the point list; the uv-index layouts differ from polygon to
// polygon so that every one appears.
dat::Polygon polygon(std::vector<std::uint16_t> ids, int variant) {
  dat::Polygon p;
  p.point_count = static_cast<std::uint8_t>(ids.size());
  p.vertex_ids = std::move(ids);
  static constexpr std::uint8_t kUvFlags[] = {0x00, 0x00, 0x04, 0x0C, 0x08, 0x10};
  static constexpr std::uint32_t kSides[] = {2, 1, 2, 2, 2, 0};
  p.uv_flags = kUvFlags[variant % 6];
  p.side_mode = kSides[variant % 6];
  p.front_surface = static_cast<std::uint16_t>(variant % 3);
  p.back_surface = static_cast<std::uint16_t>(variant % 2);
  for (std::uint8_t k = 0; k < p.point_count; ++k) {
    if (p.has_front_uvs()) p.front_uv_indices.push_back(static_cast<std::uint8_t>(k % 2));
    if (p.has_back_uvs()) p.back_uv_indices.push_back(static_cast<std::uint8_t>((k + 1) % 2));
  }
  return p;
}

struct GfxFeatures {
  bool physics = false;
  bool drawing = true;
  bool extra_id = false;
  bool unused_flag = false;       // bit 0x4 reads nothing
  std::uint32_t vertex_type = 1;  // anything else stores no vertices
  int count_width = 0;            // compact count width, 0 = shortest
};

Result<std::vector<std::uint8_t>, std::string> gfx_bytes(std::uint32_t id, const std::vector<Vector3>& points, int variant,
                                    const GfxFeatures& f) {
  dat::GfxObj g;
  g.id = id;
  g.flags = (f.physics ? dat::GfxObj::kHasPhysics : 0) | (f.drawing ? dat::GfxObj::kHasDrawing : 0) |
            (f.extra_id ? dat::GfxObj::kHasExtraId : 0) | (f.unused_flag ? 0x4u : 0u);
  g.surface_ids = {0x08000000u + static_cast<std::uint32_t>(variant), 0x08000100u};
  g.vertex_array.vertex_type = f.vertex_type;
  if (f.vertex_type == dat::CVertexArray::kVertexTypeSW) {
    for (std::size_t k = 0; k < points.size(); ++k) {
      dat::SWVertex v;
      v.origin = points[k];
      const float len = std::sqrt(points[k].x * points[k].x + points[k].y * points[k].y + points[k].z * points[k].z);
      v.normal = len > 0 ? Vector3{points[k].x / len, points[k].y / len, points[k].z / len} : Vector3{0, 0, 1};
      v.num_uvs = static_cast<std::uint16_t>((k + static_cast<std::size_t>(variant)) % 3);
      for (int u = 0; u < v.num_uvs; ++u) v.uvs.push_back({static_cast<float>(u), static_cast<float>(k % 2)});
      g.vertex_array.vertices.put(static_cast<std::uint16_t>(k), std::move(v));
    }
  }
  const auto n = static_cast<std::uint16_t>(points.size());
  const Sphere sphere = bounding_sphere(points);
  if (f.physics) {
    for (std::uint16_t k = 0; k + 2 < n; k += 2) {
      g.physics_polygons.put(k, polygon({k, static_cast<std::uint16_t>(k + 1), static_cast<std::uint16_t>(k + 2)}, variant + k));
    }
    g.physics_bsp = feature_tree(dat::kBspPhysicsTree, variant, sphere);
  }
  g.center = {0.0f, 0.0f, sphere.radius * 0.5f};
  if (f.drawing) {
    for (std::uint16_t k = 0; k + 3 < n; ++k) {
      g.drawing_polygons.put(static_cast<std::uint16_t>(100 + k),
                             polygon({k, static_cast<std::uint16_t>(k + 1), static_cast<std::uint16_t>(k + 2),
                                      static_cast<std::uint16_t>(k + 3)},
                                     variant + k));
    }
    g.drawing_polygons.put(99, polygon({}, variant));  // a polygon without points
    g.drawing_bsp = feature_tree(dat::kBspDrawingTree, variant + 1, sphere);
  }
  if (f.extra_id) g.extra_id = variant % 2 == 0 ? 0u : 0x0A0000FFu;  // 0 is a present id too
  authoring::GfxObjWriteOptions options;
  options.surface_count_width = f.count_width;
  options.physics_polygon_count_width = f.count_width;
  options.drawing_polygon_count_width = f.count_width == 0 ? 0 : 6 - f.count_width;  // 1/2/4 mixed
  if (options.drawing_polygon_count_width == 5) options.drawing_polygon_count_width = 4;
  if (options.drawing_polygon_count_width == 3) options.drawing_polygon_count_width = 2;
  options.unused_vertex_count = static_cast<std::uint32_t>(points.size());
  return authoring::write_gfx_obj(g, options);
}

std::vector<std::uint8_t> hook_body(std::uint32_t type, std::uint32_t seed) {
  if (type == 5) {
    // Both forms: a 16-bit value with the top bit set adds a second one.
    if (seed % 2 == 0) return {0x01, 0x02, 0x00};
    return {0x01, 0x00, 0x80, 0x03, 0x00};
  }
  const auto size = authoring::expected_hook_payload_size(type, {});
  std::vector<std::uint8_t> body(size.value_or(0));
  for (std::size_t k = 0; k < body.size(); ++k) body[k] = static_cast<std::uint8_t>(seed + k);
  return body;
}

dat::Frame frame(float x, float y, float z, float w = 1.0f, float qz = 0.0f) {
  return dat::Frame{{x, y, z}, {w, 0.0f, 0.0f, qz}};
}

struct SetupFeatures {
  bool part_values = false;
  bool part_vectors = false;
  bool all_hooks = false;  // every hook type, both type-5 forms
  int lights = 0;
};

Result<std::vector<std::uint8_t>, std::string> setup_bytes(std::uint32_t id, std::vector<std::uint32_t> parts, const SetupFeatures& f) {
  dat::SetupModel s;
  s.id = id;
  s.flags = (f.part_values ? dat::SetupModel::kHasPartValues : 0) | (f.part_vectors ? dat::SetupModel::kHasPartVectors : 0);
  const auto n = static_cast<std::uint32_t>(parts.size());
  s.parts = std::move(parts);
  for (std::uint32_t k = 0; k < n; ++k) {
    if (f.part_values) s.part_values.push_back(0x100 + k);
    if (f.part_vectors) s.part_vectors.push_back({1.0f, 1.0f, 1.0f + static_cast<float>(k)});
  }
  for (std::uint32_t k = 0; k < n; ++k) s.locations_a.put(k, dat::LocationType{k, frame(0, 0, static_cast<float>(k))});
  s.locations_b.put(7, dat::LocationType{0, frame(0.5f, 0, 2.0f)});
  for (std::uint32_t key = 0; key < 2; ++key) {
    dat::PlacementType placement;
    for (std::uint32_t k = 0; k < n; ++k) placement.frames.push_back(frame(0, 0, static_cast<float>(k) * 1.5f));
    if (f.all_hooks && key == 0) {
      for (std::uint32_t type = 0; type <= dat::kMaxAnimationHookType; ++type) {
        placement.hooks.push_back(authoring::make_animation_hook(type, 0x40000000u + type, hook_body(type, type)));
      }
      placement.hooks.push_back(authoring::make_animation_hook(5, 1, hook_body(5, 2)));  // the short form
    } else {
      placement.hooks.push_back(authoring::make_animation_hook(1, 2, hook_body(1, key)));
    }
    s.placements.put(0x65 + key, std::move(placement));
  }
  s.cyl_spheres = {dat::CylSphere{{0, 0, 0}, 1.5f, 4.0f}};
  s.spheres = {Sphere{{0, 0, 2}, 3.0f}};
  s.params = {0x3F800000u, 0, 1, 2};
  s.extra_spheres = {Sphere{{0, 0, 1}, 2.0f}, Sphere{{0, 0, 3}, 1.0f}};
  for (int k = 0; k < f.lights; ++k) {
    s.lights.put(static_cast<std::uint32_t>(k), dat::LightInfo{frame(0, 0, 2.5f), 0xFFFFCC88u, 1.5f, 6.0f, 0.5f});
  }
  s.linked_ids = {std::nullopt, 0x03000010u, std::nullopt, std::nullopt, 0x05000007u};
  return authoring::write_setup_model(s);
}

}  // namespace

Result<std::vector<authoring::ArchiveFile>, std::string> model_files() {
  std::vector<authoring::ArchiveFile> out;
  std::string failure;
  const auto add = [&](std::uint32_t id, Result<std::vector<std::uint8_t>, std::string> bytes,
                       std::uint32_t flags = 0, bool compress = false) {
    if (!bytes.ok()) {
      if (failure.empty()) failure = "model " + std::to_string(id) + ": " + bytes.error();
      return;
    }
    out.push_back(authoring::ArchiveFile{id, std::move(bytes).value(), flags, compress});
  };
  int variant = 0;
  const auto gfx = [&](std::uint32_t id, const std::vector<Vector3>& points, GfxFeatures f) {
    add(id, gfx_bytes(id, points, variant, f), variant % 5 == 1 ? 0x4 : 0, variant % 3 == 2);
    ++variant;
  };

  gfx(kTrunk, box(0.3f, 0.3f, 2.5f), {.physics = true, .count_width = 1});
  gfx(kCrown, ring_solid(2.2f, 6, 2.0f, 6.5f, true), {.drawing = true, .extra_id = true});
  gfx(kPine, ring_solid(1.8f, 7, 0.0f, 7.5f, true), {.physics = true, .count_width = 2});
  gfx(kBush, box(1.1f, 0.9f, 1.2f), {.unused_flag = true, .count_width = 4});
  gfx(kBoulder, box(2.0f, 1.4f, 1.5f, 0.2f, -0.1f), {.physics = true, .extra_id = true});
  gfx(kPebble, box(0.4f, 0.3f, 0.3f), {.physics = false, .drawing = false});
  gfx(kReeds, ring_solid(0.35f, 5, 0.0f, 1.8f, true), {.physics = true, .count_width = 4});
  gfx(kBillboard, box(1.0f, 1.0f, 1.0f), {.vertex_type = 2});
  gfx(kCottageWalls, box(5.0f, 3.5f, 4.0f), {.physics = true, .drawing = true});
  gfx(kCottageRoof, ring_solid(4.5f, 4, 4.0f, 7.0f, true), {.drawing = true, .count_width = 2});
  gfx(kTower, ring_solid(3.5f, 8, 0.0f, 12.0f, false), {.physics = true, .extra_id = true, .count_width = 1});
  gfx(kBarnHall, box(7.0f, 4.5f, 5.0f), {.physics = true});
  gfx(kBarnRoof, box(7.2f, 4.7f, 1.5f, 0, 0, 5.0f), {.drawing = true});
  gfx(kBarnSilo, ring_solid(1.8f, 6, 0.0f, 9.0f, false), {.physics = true, .drawing = true, .count_width = 4});

  // Cut off inside its vertices: the mesh cache must treat it as absent.
  auto broken = gfx_bytes(kBrokenGfx, box(1, 1, 1), 0, {});
  if (broken.ok()) broken->resize(40);
  add(kBrokenGfx, std::move(broken));

  add(kOak, setup_bytes(kOak, {kTrunk, kCrown}, {.part_values = true, .part_vectors = true, .lights = 1}));
  add(kBirches, setup_bytes(kBirches, {kPine, kPine, kMissingPart}, {.part_vectors = true}), 0, true);
  add(kCottage, setup_bytes(kCottage, {kCottageWalls, kCottageRoof}, {.all_hooks = true, .lights = 2}));
  add(kBarn, setup_bytes(kBarn, {kBarnHall, kBarnRoof, kBarnSilo}, {.part_values = true}), 0x10, true);
  if (!failure.empty()) return Err{std::move(failure)};
  return out;
}

}  // namespace quillmoor::worldgen
