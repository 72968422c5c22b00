#include "apps/dat_tool/record_json.h"

namespace quillmoor::dat_tool {

namespace {

template <class T>
Json numbers(const T& list) {
  Json out = Json::array();
  for (const auto& v : list) out.push(Json::number(v));
  return out;
}

template <class T>
Json ids(const T& list) {
  Json out = Json::array();
  for (const std::uint32_t v : list) out.push(Json::hex(v));
  return out;
}

template <class T, class F>
Json list_of(const T& list, F render) {
  Json out = Json::array();
  for (const auto& v : list) out.push(render(v));
  return out;
}

Json bytes(const std::vector<std::uint8_t>& data) { return Json::hex_bytes(data.data(), data.size()); }

template <class T>
Json optional_json(const std::optional<T>& value) {
  return value ? to_json(*value) : Json();
}

Json optional_sphere(const std::optional<Sphere>& sphere) { return sphere ? to_json(*sphere) : Json(); }

Json game_time(const dat::GameTime& t) {
  Json out = Json::object();
  out.set("base_value", Json::number(t.base_value));
  out.set("params", numbers(t.params));
  out.set("label", Json::string(t.label));
  out.set("times_of_day", list_of(t.times_of_day, [](const dat::TimeOfDay& d) {
            return Json::object()
                .set("value", Json::number(d.value))
                .set("flag", Json::boolean(d.flag))
                .set("name", Json::string(d.name));
          }));
  out.set("names", list_of(t.names, [](const std::string& n) { return Json::string(n); }));
  out.set("seasons", list_of(t.seasons, [](const dat::Season& s) {
            return Json::object().set("value", Json::number(s.value)).set("name", Json::string(s.name));
          }));
  return out;
}

Json sky(const dat::SkyDesc& sky) {
  Json out = Json::object();
  out.set("params", numbers(sky.params));
  out.set("day_groups", list_of(sky.day_groups, [](const dat::DayGroup& g) {
            Json group = Json::object();
            group.set("value", Json::number(g.value));
            group.set("name", Json::string(g.name));
            group.set("sky_entries", list_of(g.sky_entries, [](const dat::SkyEntry& e) { return numbers(e.params); }));
            group.set("times_of_day", list_of(g.times_of_day, [](const dat::SkyTimeOfDay& t) {
                        return Json::object()
                            .set("params", numbers(t.params))
                            .set("time_entries", list_of(t.time_entries, [](const dat::SkyTimeEntry& e) {
                                   return numbers(e.params);
                                 }));
                      }));
            return group;
          }));
  return out;
}

Json sound(const dat::SoundDesc& sound) {
  return Json::object().set("ambient_descs", list_of(sound.ambient_descs, [](const dat::AmbientSTBDesc& d) {
    return Json::object()
        .set("value", Json::number(d.value))
        .set("entries", list_of(d.entries, [](const dat::AmbientEntry& e) { return numbers(e.params); }));
  }));
}

Json scene_desc(const dat::SceneDesc& desc) {
  return Json::object().set("scene_types", list_of(desc.scene_types, [](const dat::SceneType& t) {
    return Json::object().set("value", Json::number(t.value)).set("scene_ids", ids(t.scene_ids));
  }));
}

Json terrain_desc(const dat::TerrainDesc& desc) {
  const auto pairs = [](const std::vector<dat::TerrainPair>& list) {
    return list_of(list, [](const dat::TerrainPair& p) { return numbers(p.values); });
  };
  Json tables = Json::object();
  tables.set("value", Json::number(desc.terrain_tables.value));
  tables.set("pairs_1", pairs(desc.terrain_tables.pairs_1));
  tables.set("pairs_2", pairs(desc.terrain_tables.pairs_2));
  tables.set("pairs_3", pairs(desc.terrain_tables.pairs_3));
  tables.set("entries", list_of(desc.terrain_tables.entries, [](const dat::TerrainEntry& e) { return numbers(e.values); }));
  Json out = Json::object();
  out.set("terrain_types", list_of(desc.terrain_types, [](const dat::TerrainType& t) {
            return Json::object()
                .set("name", Json::string(t.name))
                .set("value", Json::number(t.value))
                .set("scene_type_indices", numbers(t.scene_type_indices));
          }));
  out.set("value", Json::number(desc.value));
  out.set("terrain_tables", std::move(tables));
  return out;
}

Json location(const dat::LocationType& l) {
  return Json::object().set("part_id", Json::number(l.part_id)).set("frame", to_json(l.frame));
}

Json hook(const dat::AnimationHook& h) {
  return Json::object()
      .set("hook_type", Json::number(h.hook_type))
      .set("hook_param", Json::number(h.hook_param))
      .set("payload", bytes(h.payload));
}

Json placement(const dat::PlacementType& p) {
  return Json::object()
      .set("frames", list_of(p.frames, [](const dat::Frame& f) { return to_json(f); }))
      .set("hooks", list_of(p.hooks, hook));
}

Json light(const dat::LightInfo& l) {
  return Json::object()
      .set("viewer_space_location", to_json(l.viewer_space_location))
      .set("color", Json::hex(l.color))
      .set("intensity", Json::number(l.intensity))
      .set("falloff", Json::number(l.falloff))
      .set("cone_angle", Json::number(l.cone_angle));
}

Json vertex(const dat::SWVertex& v) {
  return Json::object()
      .set("num_uvs", Json::number(v.num_uvs))
      .set("origin", to_json(v.origin))
      .set("normal", to_json(v.normal))
      .set("uvs", list_of(v.uvs, [](const dat::Vec2Duv& uv) {
             return Json::array().push(Json::number(uv.u)).push(Json::number(uv.v));
           }));
}

Json polygon(const dat::Polygon& p) {
  return Json::object()
      .set("point_count", Json::number(p.point_count))
      .set("uv_flags", Json::number(p.uv_flags))
      .set("side_mode", Json::number(p.side_mode))
      .set("front_surface", Json::number(p.front_surface))
      .set("back_surface", Json::number(p.back_surface))
      .set("vertex_ids", numbers(p.vertex_ids))
      .set("front_uv_indices", numbers(p.front_uv_indices))
      .set("back_uv_indices", numbers(p.back_uv_indices));
}

Json child(const std::unique_ptr<dat::BspNode>& node) { return node ? to_json(*node) : Json(); }

}  // namespace

Json to_json(const Vector3& v) {
  return Json::array().push(Json::number(v.x)).push(Json::number(v.y)).push(Json::number(v.z));
}

Json to_json(const Quaternion& q) {
  return Json::array().push(Json::number(q.w)).push(Json::number(q.x)).push(Json::number(q.y)).push(
      Json::number(q.z));
}

Json to_json(const dat::Frame& frame) {
  return Json::object().set("origin", to_json(frame.origin)).set("orientation", to_json(frame.orientation));
}

Json to_json(const Plane& plane) {
  return Json::object().set("normal", to_json(plane.normal)).set("d", Json::number(plane.d));
}

Json to_json(const Sphere& sphere) {
  return Json::object().set("center", to_json(sphere.center)).set("radius", Json::number(sphere.radius));
}

Json to_json(const dat::Region& r) {
  Json land = Json::object();
  land.set("params", numbers(r.land_parameters.params));
  land.set("land_height_table", numbers(r.land_parameters.land_height_table));
  Json out = Json::object();
  out.set("id", Json::hex(r.id));
  out.set("region_number", Json::number(r.region_number));
  out.set("version", Json::number(r.version));
  out.set("name", Json::string(r.name));
  out.set("land_parameters", std::move(land));
  out.set("game_time", game_time(r.game_time));
  out.set("section_mask", Json::hex(r.section_mask));
  out.set("sky_desc", r.sky_desc ? sky(*r.sky_desc) : Json());
  out.set("sound_desc", r.sound_desc ? sound(*r.sound_desc) : Json());
  out.set("scene_desc", r.scene_desc ? scene_desc(*r.scene_desc) : Json());
  out.set("terrain_desc", terrain_desc(r.terrain_desc));
  out.set("region_misc", r.region_misc ? numbers(r.region_misc->params) : Json());
  return out;
}

Json to_json(const dat::ObjectDesc& d) {
  return Json::object()
      .set("obj_id", Json::hex(d.obj_id))
      .set("frame", to_json(d.frame))
      .set("frequency", Json::number(d.frequency))
      .set("displace_x", Json::number(d.displace_x))
      .set("displace_y", Json::number(d.displace_y))
      .set("min_scale", Json::number(d.min_scale))
      .set("max_scale", Json::number(d.max_scale))
      .set("max_rotation", Json::number(d.max_rotation))
      .set("min_slope", Json::number(d.min_slope))
      .set("max_slope", Json::number(d.max_slope))
      .set("aux_a", Json::number(d.aux_a))
      .set("aux_b", Json::number(d.aux_b))
      .set("skip_flag", Json::number(d.skip_flag));
}

Json to_json(const dat::Scene& scene) {
  return Json::object()
      .set("id", Json::hex(scene.id))
      .set("objects", list_of(scene.objects, [](const dat::ObjectDesc& d) { return to_json(d); }));
}

Json to_json(const dat::SetupModel& s) {
  Json out = Json::object();
  out.set("id", Json::hex(s.id));
  out.set("flags", Json::hex(s.flags));
  out.set("parts", ids(s.parts));
  out.set("part_values", numbers(s.part_values));
  out.set("part_vectors", list_of(s.part_vectors, [](const Vector3& v) { return to_json(v); }));
  out.set("locations_a", object_sorted_by_key(s.locations_a, location));
  out.set("locations_b", object_sorted_by_key(s.locations_b, location));
  out.set("placements", object_sorted_by_key(s.placements, placement));
  out.set("cyl_spheres", list_of(s.cyl_spheres, [](const dat::CylSphere& c) {
            return Json::object()
                .set("origin", to_json(c.origin))
                .set("radius", Json::number(c.radius))
                .set("height", Json::number(c.height));
          }));
  out.set("spheres", list_of(s.spheres, [](const Sphere& sp) { return to_json(sp); }));
  out.set("params", numbers(s.params));
  out.set("extra_spheres", list_of(s.extra_spheres, [](const Sphere& sp) { return to_json(sp); }));
  out.set("lights", object_sorted_by_key(s.lights, light));
  out.set("linked_ids", list_of(s.linked_ids, [](const std::optional<std::uint32_t>& id) {
            return id ? Json::hex(*id) : Json();
          }));
  return out;
}

Json to_json(const dat::BspNode& node) {
  if (const dat::BspLeaf* leaf = node.leaf()) {
    return Json::object()
        .set("type", Json::string("LEAF"))
        .set("leaf_index", Json::number(leaf->leaf_index))
        .set("solid", Json::number(leaf->solid))
        .set("sphere", optional_sphere(leaf->sphere))
        .set("poly_ids", numbers(leaf->poly_ids));
  }
  if (const dat::InternalNode* n = node.internal()) {
    return Json::object()
        .set("type", Json::string(std::string(n->node_type.data(), n->node_type.size())))
        .set("plane", to_json(n->plane))
        .set("pos_child", child(n->pos_child))
        .set("neg_child", child(n->neg_child))
        .set("sphere", optional_sphere(n->sphere))
        .set("poly_ids", numbers(n->poly_ids));
  }
  const dat::BspPortal& p = *node.portal();
  return Json::object()
      .set("type", Json::string("PORT"))
      .set("plane", to_json(p.plane))
      .set("pos_child", child(p.pos_child))
      .set("neg_child", child(p.neg_child))
      .set("sphere", optional_sphere(p.sphere))
      .set("poly_ids", numbers(p.poly_ids))
      .set("portals", list_of(p.portals, [](const dat::PortalPoly& pp) {
             return Json::object()
                 .set("portal_index", Json::number(pp.portal_index))
                 .set("poly_id", Json::number(pp.poly_id));
           }));
}

Json to_json(const dat::GfxObj& g) {
  Json out = Json::object();
  out.set("id", Json::hex(g.id));
  out.set("flags", Json::hex(g.flags));
  out.set("surface_ids", ids(g.surface_ids));
  out.set("vertex_array", Json::object()
                              .set("vertex_type", Json::number(g.vertex_array.vertex_type))
                              .set("vertices", object_sorted_by_key(g.vertex_array.vertices, vertex)));
  out.set("physics_polygons", object_sorted_by_key(g.physics_polygons, polygon));
  out.set("physics_bsp", optional_json(g.physics_bsp));
  out.set("center", to_json(g.center));
  out.set("drawing_polygons", object_sorted_by_key(g.drawing_polygons, polygon));
  out.set("drawing_bsp", optional_json(g.drawing_bsp));
  out.set("extra_id", g.extra_id ? Json::hex(*g.extra_id) : Json());
  return out;
}

Json to_json(const dat::CellLandblock& t) {
  return Json::object()
      .set("id", Json::hex(t.id))
      .set("has_objects", Json::number(t.has_objects))
      .set("terrain", numbers(t.terrain))
      .set("height", numbers(t.height));
}

Json to_json(const dat::LandblockInfo& info) {
  Json out = Json::object();
  out.set("id", Json::hex(info.id));
  out.set("num_cells", Json::number(info.num_cells));
  out.set("objects", list_of(info.objects, [](const dat::Stab& s) {
            return Json::object().set("id", Json::hex(s.id)).set("frame", to_json(s.frame));
          }));
  out.set("pack_mask", Json::hex(info.pack_mask, 4));
  out.set("buildings", list_of(info.buildings, [](const dat::BuildInfo& b) {
            return Json::object()
                .set("model_id", Json::hex(b.model_id))
                .set("frame", to_json(b.frame))
                .set("num_leaves", Json::number(b.num_leaves))
                .set("portals", list_of(b.portals, [](const dat::PortalInternal& p) {
                       return Json::object()
                           .set("flags", Json::hex(p.flags, 4))
                           .set("other_cell_id", Json::hex(p.other_cell_id, 4))
                           .set("other_portal_id", Json::number(p.other_portal_id))
                           .set("stab_list", numbers(p.stab_list));
                     }));
          }));
  out.set("restriction_tables", info.restriction_tables
                                    ? object_sorted_by_key(info.restriction_tables->tables,
                                                           [](std::uint32_t v) { return Json::hex(v); })
                                    : Json());
  return out;
}

}  // namespace quillmoor::dat_tool
