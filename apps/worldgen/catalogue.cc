#include "apps/worldgen/catalogue.h"

#include <bit>
#include <cmath>

#include "apps/worldgen/terrain.h"

namespace quillmoor::worldgen {

namespace {

dat::Raw32 bits(float f) { return std::bit_cast<std::uint32_t>(f); }

dat::ObjectDesc desc(std::uint32_t model, float frequency, float displace, float min_scale,
                     float max_scale, float max_rotation, float ox = 12.0f, float oy = 12.0f) {
  dat::ObjectDesc d;
  d.obj_id = model;
  d.frame.origin = {ox, oy, 0.0f};
  d.frame.orientation = {1.0f, 0.0f, 0.0f, 0.0f};
  d.frequency = frequency;
  d.displace_x = displace;
  d.displace_y = displace;
  d.min_scale = min_scale;
  d.max_scale = max_scale;
  d.max_rotation = max_rotation;
  d.min_slope = 0.0f;
  d.max_slope = 1.2f;
  return d;
}

dat::Scene scene(std::uint32_t id, std::vector<dat::ObjectDesc> objects) {
  return dat::Scene{id, std::move(objects)};
}

}  // namespace

dat::Region sample_region() {
  dat::Region r;
  r.id = dat::kRegionFileId;
  r.region_number = 1;
  r.version = 3;
  r.name = "Quillmoor";
  for (std::size_t i = 0; i < r.land_parameters.params.size(); ++i) {
    r.land_parameters.params[i] = bits(static_cast<float>(i) * 0.5f + 1.0f);
  }
  // Monotone: gentle in the lowlands, steeper towards the peaks.
  r.land_parameters.land_height_table.resize(256);
  for (int i = 0; i < 256; ++i) {
    r.land_parameters.land_height_table[i] = static_cast<float>(i) * 1.25f + static_cast<float>(i * i) * 0.0025f;
  }

  dat::GameTime& t = r.game_time;
  t.base_value = 3600.0 * 24.0 * 7.5;
  t.params = {bits(1.0f), bits(24.0f), 7};
  t.label = "Quillmoor Reckoning";  // texts of every padding length below
  t.times_of_day = {{bits(0.0f), true, "Dawn"},  {bits(0.25f), true, "Noon"},
                    {bits(0.5f), false, "Dusk"}, {bits(0.75f), false, "Night"},
                    {bits(0.9f), true, ""}};
  t.names = {"Morndas", "Tirdas", "Ox", "X", "Sundas"};
  t.seasons = {{bits(0.0f), "Spring"}, {bits(0.25f), "Summer"}, {bits(0.5f), "Fall"},
               {bits(0.75f), "Rime"}};

  dat::SkyDesc sky;
  sky.params = {0.25, 86400.0};
  for (int g = 0; g < 2; ++g) {
    dat::DayGroup group;
    group.value = bits(g == 0 ? 0.7f : 0.3f);
    group.name = g == 0 ? "Clear" : "Overcast Skies";
    for (int e = 0; e < 2 + g; ++e) {
      dat::SkyEntry entry;
      for (std::size_t k = 0; k < entry.params.size(); ++k) entry.params[k] = static_cast<dat::Raw32>(g * 100 + e * 10 + k);
      group.sky_entries.push_back(entry);
    }
    for (int d = 0; d < 2; ++d) {
      dat::SkyTimeOfDay tod;
      for (std::size_t k = 0; k < tod.params.size(); ++k) tod.params[k] = bits(static_cast<float>(d) * 0.5f + static_cast<float>(k));
      for (int e = 0; e <= d; ++e) {
        dat::SkyTimeEntry te;
        for (std::size_t k = 0; k < te.params.size(); ++k) te.params[k] = static_cast<dat::Raw32>(0x1000 * e + k);
        tod.time_entries.push_back(te);
      }
      group.times_of_day.push_back(tod);
    }
    sky.day_groups.push_back(group);
  }
  r.sky_desc = sky;

  dat::SoundDesc sound;
  sound.ambient_descs.push_back({0x0A000001, {{{1, 2, 3, 4, 5}}, {{6, 7, 8, 9, 10}}}});
  sound.ambient_descs.push_back({0x0A000002, {}});
  r.sound_desc = sound;

  dat::SceneDesc scenes;
  const auto type = [&](std::uint32_t value, std::vector<std::uint32_t> ids) {
    scenes.scene_types.push_back({value, std::move(ids)});
  };
  type(0, {kSceneMeadowA, kSceneMeadowB, kSceneMeadowC});  // 0 meadow
  type(1, {kSceneMeadowB, kSceneRoad});                    // 1 sparse meadow
  type(2, {kSceneForestA, kSceneForestB});                 // 2 forest
  type(3, {kSceneForestB, kSceneMeadowA});                 // 3 forest edge
  type(4, {kSceneRocks});                                  // 4 rocks
  type(5, {kSceneMarsh, kSceneMissing});                   // 5 marsh
  type(6, {kSceneRoad});                                   // 6 road
  type(7, {kSceneOddities, kSceneBroken});                 // 7 oddities
  type(8, {});                                             // 8 selects nothing
  r.scene_desc = scenes;

  dat::TerrainDesc& terrain = r.terrain_desc;
  const auto kind = [&](std::string name, std::vector<std::uint32_t> indices) {
    terrain.terrain_types.push_back({std::move(name), bits(0.5f), std::move(indices)});
  };
  kind("Meadow", {0, 1});
  kind("Dark Forest", {2, 3});
  kind("Rocky Scree", {4});
  kind("Reed Marsh", {5});
  kind("Cobblestone Road", {6});
  kind("C\u0153ur\u2013Heath", {1, 7});  // stored in windows-1252: 0x9C and 0x96
  kind("Glade", {3, 0, 8});
  kind("Dune", {4, 99});  // 99: no such scene type
  kind("Ash", {});
  kind("", {2});
  terrain.value = 0x00C0FFEE;
  terrain.terrain_tables.value = 42;
  terrain.terrain_tables.pairs_1 = {{{1, 2}}, {{3, 4}}};
  terrain.terrain_tables.pairs_2 = {{{5, 6}}};
  terrain.terrain_tables.pairs_3 = {};
  dat::TerrainEntry entry;
  for (std::size_t k = 0; k < entry.values.size(); ++k) entry.values[k] = static_cast<dat::Raw32>(k * k);
  terrain.terrain_tables.entries = {entry, entry};

  r.region_misc = dat::RegionMisc{{1, 2, 3, 4, 5, 6}};
  // The bits of the four sections, and one that no section uses.
  r.section_mask = dat::kRegionHasSky | dat::kRegionHasSound | dat::kRegionHasScene |
                   dat::kRegionHasMisc | 0x1000;
  return r;
}

std::vector<dat::Scene> sample_scenes() {
  std::vector<dat::Scene> out;
  out.push_back(scene(kSceneMeadowA, {desc(kBush, 0.35f, 10.0f, 0.8f, 1.3f, 360.0f),
                                      desc(kPebble, 0.25f, 11.0f, 0.7f, 1.6f, 360.0f, 4.0f, 18.0f),
                                      desc(kOak, 0.12f, 8.0f, 0.9f, 1.2f, 360.0f)}));
  out.push_back(scene(kSceneMeadowB, {desc(kBush, 0.2f, 12.0f, 1.0f, 1.0f, 180.0f),
                                      desc(kPebble, 0.15f, 6.0f, 0.8f, 0.8f, 0.0f, 20.0f, 6.0f)}));
  out.push_back(scene(kSceneMeadowC, {desc(kOak, 0.3f, 10.0f, 0.8f, 1.4f, 360.0f),
                                      desc(kBush, 0.4f, 4.0f, 0.6f, 1.1f, 90.0f, 2.0f, 2.0f)}));
  out.push_back(scene(kSceneForestA, {desc(kPine, 0.7f, 11.0f, 0.8f, 1.5f, 360.0f),
                                      desc(kOak, 0.45f, 10.0f, 0.9f, 1.3f, 360.0f, 6.0f, 18.0f),
                                      desc(kBush, 0.5f, 12.0f, 0.7f, 1.0f, 360.0f, 18.0f, 6.0f)}));
  out.push_back(scene(kSceneForestB, {desc(kBirches, 0.55f, 9.0f, 0.9f, 1.2f, 360.0f),
                                      desc(kPine, 0.5f, 12.0f, 0.7f, 1.2f, 360.0f, 18.0f, 18.0f)}));
  out.push_back(scene(kSceneRocks, {desc(kBoulder, 0.4f, 10.0f, 0.6f, 1.8f, 360.0f),
                                    desc(kPebble, 0.6f, 12.0f, 0.5f, 2.0f, 360.0f, 6.0f, 6.0f),
                                    desc(kPine, 0.15f, 8.0f, 0.6f, 0.9f, 360.0f)}));
  out.push_back(scene(kSceneMarsh, {desc(kReeds, 0.8f, 12.0f, 0.7f, 1.4f, 360.0f),
                                    desc(kReeds, 0.6f, 12.0f, 0.7f, 1.4f, 360.0f, 4.0f, 20.0f),
                                    desc(kBush, 0.1f, 6.0f, 1.0f, 1.2f, 0.0f)}));
  out.push_back(scene(kSceneRoad, {}));
  auto skipped = desc(kBush, 1.0f, 6.0f, 1.0f, 1.0f, 0.0f);
  skipped.skip_flag = 1;
  out.push_back(scene(kSceneOddities, {skipped,
                                       desc(kForeignKind, 1.0f, 8.0f, 1.0f, 1.0f, 0.0f),
                                       desc(kMissingGfx, 1.0f, 8.0f, 1.0f, 1.0f, 0.0f),
                                       desc(kBrokenGfx, 1.0f, 8.0f, 1.0f, 1.0f, 0.0f),
                                       desc(kBillboard, 1.0f, 8.0f, 1.0f, 1.0f, 0.0f),
                                       desc(kBush, 0.0f, 8.0f, 1.0f, 1.0f, 0.0f),  // never placed
                                       desc(kPebble, 0.9f, 10.0f, 0.5f, 0.9f, 45.0f, 12.0f, 12.0f)}));
  return out;
}

std::vector<unsigned> scene_types_per_terrain_kind(const dat::Region& region) {
  std::vector<unsigned> counts;
  for (const auto& t : region.terrain_desc.terrain_types) counts.push_back(static_cast<unsigned>(t.scene_type_indices.size()));
  return counts;
}

}  // namespace quillmoor::worldgen
