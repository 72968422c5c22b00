#include "apps/bake_tool/map_tile.h"

#include "quillmoor/scenery_bake/bake.h"
#include "quillmoor/scenery_bake/height.h"

namespace quillmoor::bake_tool {

MapTile make_tile(const dat::Region& region, const twinrun::LandblockBake& baked) {
  MapTile tile;
  tile.landblock = baked.landblock;
  if (!baked.terrain) return tile;
  tile.has_terrain = true;
  const bake::HeightGrid grid = bake::vertex_heights(region, *baked.terrain);
  for (int cx = 0; cx < 8; ++cx) {
    for (int cy = 0; cy < 8; ++cy) {
      const float sum = grid[cx * 9 + cy] + grid[(cx + 1) * 9 + cy] + grid[cx * 9 + cy + 1] +
                        grid[(cx + 1) * 9 + cy + 1];
      tile.cell_height[cx * 8 + cy] = sum / 4.0f;
      // The cell's centre, tested as the bake tests a candidate.
      if (bake::on_road(*baked.terrain, 24.0f * cx + 12.0f, 24.0f * cy + 12.0f)) {
        tile.road_cells |= std::uint64_t{1} << (cx * 8 + cy);
      }
    }
  }
  tile.footprints = baked.footprints;
  tile.marks.reserve(baked.placements.size());
  for (const auto& p : baked.placements) tile.marks.push_back(MapMark{p.x, p.y, p.obj_id});
  return tile;
}

}  // namespace quillmoor::bake_tool
