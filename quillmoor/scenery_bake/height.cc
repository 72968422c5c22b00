#include "quillmoor/scenery_bake/height.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "quillmoor/scenery_bake/float_to_int.h"

namespace quillmoor::bake {
namespace {

constexpr float kCellSize = 24.0f;

float at(const HeightGrid& grid, int vx, int vy) {
  return grid[static_cast<std::size_t>(vx * 9 + vy)];
}

// Vertex index of a coordinate already clamped to [0, 8] vertex units
// (or NaN, which lands on vertex 0).
int vertex_index(float f) { return std::clamp(saturating_to_i32(std::floor(f)), 0, 8); }

}  // namespace

HeightGrid vertex_heights(const dat::Region& region, const dat::CellLandblock& landblock) {
  HeightGrid grid{};
  const std::vector<float>& table = region.land_parameters.land_height_table;
  if (table.empty()) return grid;
  const std::size_t count = std::min(landblock.height.size(), grid.size());
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t code = landblock.height[i];
    grid[i] = table[std::min(code, table.size() - 1)];
  }
  return grid;
}

float bilinear_height_from_grid(const HeightGrid& grid, float x, float y) {
  float fx = x / kCellSize;
  float fy = y / kCellSize;
  // NaN passes through both comparisons unchanged.
  if (fx < 0.0f) fx = 0.0f;
  if (fx > 8.0f) fx = 8.0f;
  if (fy < 0.0f) fy = 0.0f;
  if (fy > 8.0f) fy = 8.0f;
  const int ix = vertex_index(fx);
  const int iy = vertex_index(fy);
  const int x0 = ix;
  const int x1 = std::min(ix, 7) + 1;  // 8 at the far edge, like x0
  const int y0 = iy;
  const int y1 = std::min(iy, 7) + 1;
  const float tx = fx - static_cast<float>(x0);
  const float ty = fy - static_cast<float>(y0);
  const float h00 = at(grid, x0, y0);
  const float h10 = at(grid, x1, y0);
  const float h01 = at(grid, x0, y1);
  const float h11 = at(grid, x1, y1);
  const float one_tx = 1.0f - tx;
  const float one_ty = 1.0f - ty;
  const float h00w = h00 * one_tx;
  const float a = h00w * one_ty;
  const float h10w = h10 * tx;
  const float b = h10w * one_ty;
  const float h01w = h01 * one_tx;
  const float c = h01w * ty;
  const float h11w = h11 * tx;
  const float d = h11w * ty;
  const float ab = a + b;
  const float abc = ab + c;
  return abc + d;
}

std::uint32_t cell_split_hash(std::uint32_t gx, std::uint32_t gy) {
  const std::uint32_t first = gx * 0x0CCAC033u + 0x6C1AC587u;
  return first * gy + gx * 0xBDE41C43u + 0xAE6470DBu;
}

float triangle_plane_height_from_grid(const HeightGrid& grid, std::uint16_t landblock_id, float x,
                                      float y) {
  const int cx = std::clamp(saturating_to_i32(std::floor(x / kCellSize)), 0, 7);
  const int cy = std::clamp(saturating_to_i32(std::floor(y / kCellSize)), 0, 7);
  const int ix0 = 24 * cx;
  const int ix1 = ix0 + 24;
  const int iy0 = 24 * cy;
  const int iy1 = iy0 + 24;
  const float X0 = static_cast<float>(ix0);
  const float X1 = static_cast<float>(ix1);
  const float Y0 = static_cast<float>(iy0);
  const float Y1 = static_cast<float>(iy1);
  const float h00 = at(grid, cx, cy);
  const float h10 = at(grid, cx + 1, cy);
  const float h01 = at(grid, cx, cy + 1);
  const float h11 = at(grid, cx + 1, cy + 1);

  const std::uint32_t gx = 8u * (std::uint32_t{landblock_id} >> 8) + static_cast<std::uint32_t>(cx);
  const std::uint32_t gy = 8u * (std::uint32_t{landblock_id} & 0xFFu) + static_cast<std::uint32_t>(cy);
  const bool first_split = (cell_split_hash(gx, gy) & 0x80000000u) == 0;

  // Barycentric test for the first triangle of the split.
  const float e = first_split ? X0 : X1;
  const float f = first_split ? 0.0f : 24.0f;
  const float inv = 1.0f / -576.0f;
  const float x24 = 24.0f * x;
  const float x0y1 = static_cast<float>(ix0 * iy1);
  const float x1y1 = static_cast<float>(ix1 * iy1);
  const float eY0 = e * Y0;
  const float yf = y * f;
  const float s_inner = x0y1 - eY0;
  const float s_rest = s_inner - x24;
  const float s_sum = yf + s_rest;
  const float s = s_sum * inv;
  const float t_dx = X1 - e;
  const float t_a = t_dx * y;
  const float t_inner = eY0 - x1y1;
  const float t_b = x24 + t_inner;
  const float t_sum = t_a + t_b;
  const float t = inv * t_sum;
  const float one_s = 1.0f - s;
  const bool in_t1 = !(s < 0.0f || t < 0.0f || t > one_s);

  if (in_t1) {
    const float e0 = first_split ? h01 : h11;
    const float dh10 = h10 - h00;
    const float nx = 24.0f * dh10;
    const float de0 = e0 - h00;
    const float ny_a = 24.0f * de0;
    const float ny_b = f * dh10;
    const float ny = ny_a - ny_b;
    const float c = -576.0f;
    const float hc = h00 * c;
    const float xn = X0 * nx;
    const float yn = Y0 * ny;
    const float corner = xn + yn;
    const float sum = hc + corner;
    const float px = x * nx;
    const float less_x = sum - px;
    const float py = y * ny;
    const float less_y = less_x - py;
    return less_y / c;
  }

  // Second triangle, through its pivot corner P.
  float Xp, Yp, hp, g, k, m, u, w;
  if (first_split) {
    Xp = X1;
    Yp = Y0;
    hp = h10;
    g = X0 - X1;
    k = Y1 - Y0;
    m = Y1 - Y0;
    u = h01 - h10;
    w = h11 - h10;
  } else {
    Xp = X0;
    Yp = Y1;
    hp = h01;
    g = X1 - X0;
    k = Y1 - Y1;
    m = Y0 - Y1;
    u = h11 - h01;
    w = h00 - h01;
  }
  const float z0 = Xp - Xp;
  const float wk = w * k;
  const float um = u * m;
  const float a = wk - um;
  const float z0u = z0 * u;
  const float gw = g * w;
  const float b = z0u - gw;
  const float mg = m * g;
  const float z0k = z0 * k;
  const float c = mg - z0k;
  const float hc = hp * c;
  const float yb = Yp * b;
  const float xa = Xp * a;
  const float corner = yb + xa;
  const float sum = hc + corner;
  const float pa = x * a;
  const float less_x = sum - pa;
  const float pb = y * b;
  const float less_y = less_x - pb;
  return less_y / c;
}

float slope_at(const HeightGrid& grid, float x, float y) {
  // fmax drops a NaN operand, so NaN coordinates use the first cell.
  const float fx = std::fmax(x / kCellSize, 0.0f);
  const float fy = std::fmax(y / kCellSize, 0.0f);
  const int ix = fx > 8.0f ? 8 : saturating_to_i32(std::floor(fx));
  const int iy = fy > 8.0f ? 8 : saturating_to_i32(std::floor(fy));
  const int x0 = std::min(ix, 8);
  const int x1 = std::min(ix, 7) + 1;
  const int y0 = std::min(iy, 8);
  const int y1 = std::min(iy, 7) + 1;
  const float h00 = at(grid, x0, y0);
  const float h10 = at(grid, x1, y0);
  const float h01 = at(grid, x0, y1);
  const float h11 = at(grid, x1, y1);
  const float dy_a = h11 - h10;
  const float dy_b = h01 - h00;
  const float dy_sum = dy_a + dy_b;
  const float dy_half = dy_sum * 0.5f;
  const float dy = dy_half / kCellSize;
  const float dx_a = h11 - h01;
  const float dx_b = h10 - h00;
  const float dx_sum = dx_a + dx_b;
  const float dx_half = dx_sum * 0.5f;
  const float dx = dx_half / kCellSize;
  const float dxx = dx * dx;
  const float dyy = dy * dy;
  const float sq = dxx + dyy;
  return std::atan(std::sqrt(sq));
}

}  // namespace quillmoor::bake
