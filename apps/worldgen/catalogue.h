// The sample world's portal content: the region, its scenes and the ids of
// every model the scenes and buildings name.
#pragma once

#include <cstdint>
#include <vector>

#include "quillmoor/dat/region.h"
#include "quillmoor/dat/scene.h"

namespace quillmoor::worldgen {

// Scenery models.
inline constexpr std::uint32_t kOak = 0x02000001;        // setup: trunk and crown
inline constexpr std::uint32_t kBirches = 0x02000002;    // setup: the same stem twice, one part missing
inline constexpr std::uint32_t kTrunk = 0x01000001;
inline constexpr std::uint32_t kCrown = 0x01000002;
inline constexpr std::uint32_t kPine = 0x01000003;
inline constexpr std::uint32_t kBush = 0x01000004;
inline constexpr std::uint32_t kBoulder = 0x01000005;
inline constexpr std::uint32_t kPebble = 0x01000006;
inline constexpr std::uint32_t kReeds = 0x01000007;
inline constexpr std::uint32_t kBillboard = 0x01000009;  // no vertices of the stored kind: no mesh
// Buildings.
inline constexpr std::uint32_t kCottage = 0x02000100;  // setup: walls and roof
inline constexpr std::uint32_t kBarn = 0x02000101;     // setup: three parts
inline constexpr std::uint32_t kTower = 0x01000102;    // a single graphics object
inline constexpr std::uint32_t kCottageWalls = 0x01000100;
inline constexpr std::uint32_t kCottageRoof = 0x01000101;
inline constexpr std::uint32_t kBarnHall = 0x01000103;
inline constexpr std::uint32_t kBarnRoof = 0x01000104;
inline constexpr std::uint32_t kBarnSilo = 0x01000105;
// Faults the bake must absorb.
inline constexpr std::uint32_t kMissingPart = 0x01000008;   // named by a setup, not stored
inline constexpr std::uint32_t kMissingGfx = 0x0100FFFF;    // named by a scene, not stored
inline constexpr std::uint32_t kMissingModel = 0x0200FFFE;  // named by a building, not stored
inline constexpr std::uint32_t kBrokenGfx = 0x0100000A;     // stored cut short: does not parse
inline constexpr std::uint32_t kForeignKind = 0x03000001;   // a kind that has no mesh

// Scenes.
inline constexpr std::uint32_t kSceneMeadowA = 0x12000001;
inline constexpr std::uint32_t kSceneMeadowB = 0x12000002;
inline constexpr std::uint32_t kSceneMeadowC = 0x12000003;
inline constexpr std::uint32_t kSceneForestA = 0x12000004;
inline constexpr std::uint32_t kSceneForestB = 0x12000005;
inline constexpr std::uint32_t kSceneRocks = 0x12000006;
inline constexpr std::uint32_t kSceneMarsh = 0x12000007;
inline constexpr std::uint32_t kSceneRoad = 0x12000008;      // present, with no objects
inline constexpr std::uint32_t kSceneOddities = 0x12000009;  // descriptors the bake must drop
inline constexpr std::uint32_t kSceneBroken = 0x1200000A;    // stored cut short
inline constexpr std::uint32_t kSceneMissing = 0x120000EE;   // named, not stored

dat::Region sample_region();
std::vector<dat::Scene> sample_scenes();

// How many scene-type indices each terrain type of the region lists.
std::vector<unsigned> scene_types_per_terrain_kind(const dat::Region& region);

}  // namespace quillmoor::worldgen
