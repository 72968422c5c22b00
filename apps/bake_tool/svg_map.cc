#include "apps/bake_tool/svg_map.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <map>
#include <vector>

#include "quillmoor/common/seeded_hash_map.h"

namespace quillmoor::bake_tool {

namespace {

constexpr int kLandblockUnits = 192;
constexpr int kHeightLevels = 24;

struct Rgb {
  double r, g, b;
};

std::string hex_colour(Rgb c) {
  const auto channel = [](double v) {
    const double clamped = std::clamp(v, 0.0, 1.0);
    return static_cast<int>(std::lround(clamped * 255.0));
  };
  char buf[16];
  std::snprintf(buf, sizeof buf, "#%02x%02x%02x", channel(c.r), channel(c.g), channel(c.b));
  return buf;
}

// Hue in degrees, saturation and lightness in [0, 1].
Rgb from_hsl(double h, double s, double l) {
  const double c = (1.0 - std::fabs(2.0 * l - 1.0)) * s;
  const double hp = h / 60.0;
  const double x = c * (1.0 - std::fabs(std::fmod(hp, 2.0) - 1.0));
  Rgb rgb{0, 0, 0};
  if (hp < 1) rgb = {c, x, 0};
  else if (hp < 2) rgb = {x, c, 0};
  else if (hp < 3) rgb = {0, c, x};
  else if (hp < 4) rgb = {0, x, c};
  else if (hp < 5) rgb = {x, 0, c};
  else rgb = {c, 0, x};
  const double m = l - c / 2.0;
  return {rgb.r + m, rgb.g + m, rgb.b + m};
}

int height_level(float height, float low, float high) {
  if (!(high > low) || !std::isfinite(height)) return 0;
  const double t = (static_cast<double>(height) - low) / (static_cast<double>(high) - low);
  const double level = std::floor(t * kHeightLevels);
  return static_cast<int>(std::clamp(level, 0.0, static_cast<double>(kHeightLevels - 1)));
}

std::string level_colour(int level) {
  // Dark green through olive to a light grey.
  const Rgb stops[] = {{0.15, 0.32, 0.15}, {0.45, 0.55, 0.30}, {0.62, 0.60, 0.50}, {0.88, 0.88, 0.86}};
  const double t = (level + 0.5) / kHeightLevels * 3.0;
  const int i = std::min(2, static_cast<int>(t));
  const double f = t - i;
  const Rgb a = stops[i], b = stops[i + 1];
  return hex_colour({a.r + (b.r - a.r) * f, a.g + (b.g - a.g) * f, a.b + (b.b - a.b) * f});
}

void appendf(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));
void appendf(std::string& out, const char* format, ...) {
  char buf[512];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(buf, sizeof buf, format, args);
  va_end(args);
  if (n > 0) out.append(buf, std::min<std::size_t>(static_cast<std::size_t>(n), sizeof buf - 1));
}

std::string escape_text(const std::string& text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '&': out += "&amp;"; break;
      default: out += c;
    }
  }
  return out;
}

}  // namespace

std::string model_colour(std::uint32_t obj_id) {
  // A fixed mix, not a seeded one: the same model has the same colour in
  // every picture.
  const std::uint64_t h = mix64(obj_id);
  const double hue = static_cast<double>(h % 360);
  const double lightness = 0.45 + 0.15 * static_cast<double>((h >> 16) % 3) / 2.0;
  return hex_colour(from_hsl(hue, 0.85, lightness));
}

std::string height_colour(float height, float low, float high) {
  return level_colour(height_level(height, low, high));
}

std::string render_map(std::span<const MapTile> tiles, const std::string& title) {
  std::string svg;
  if (tiles.empty()) {
    svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"400\" height=\"40\" viewBox=\"0 0 400 40\">"
           "<text x=\"10\" y=\"25\" font-family=\"sans-serif\" font-size=\"16\">no landblocks baked</text></svg>\n";
    return svg;
  }
  int x0 = 255, x1 = 0, y0 = 255, y1 = 0;
  float low = INFINITY, high = -INFINITY;
  std::size_t marks = 0, footprints = 0, with_terrain = 0;
  std::map<std::uint32_t, std::size_t> per_model;
  for (const MapTile& t : tiles) {
    const int x = t.landblock >> 8, y = t.landblock & 0xFF;
    x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
    marks += t.marks.size();
    footprints += t.footprints.size();
    for (const MapMark& m : t.marks) ++per_model[m.obj_id];
    if (!t.has_terrain) continue;
    ++with_terrain;
    for (const float h : t.cell_height) {
      if (!std::isfinite(h)) continue;
      low = std::min(low, h), high = std::max(high, h);
    }
  }
  if (!(low <= high)) low = high = 0;
  const bool full_detail = tiles.size() <= kFullDetailLandblocks;
  const bool draw_marks = marks <= kMaxMarks;
  const bool draw_footprints = footprints <= kMaxFootprints;

  const int width = (x1 - x0 + 1) * kLandblockUnits;
  const int height = (y1 - y0 + 1) * kLandblockUnits;
  const double unit = std::max(width, height) / 60.0;  // legend spacing
  const double legend_width = 25.0 * unit;
  const double total_width = width + legend_width;
  const double total_height = std::max<double>(height, 34.0 * unit);
  // Landblock space to picture space, north up.
  const auto px = [&](int lb_x, float x) { return (lb_x - x0) * kLandblockUnits + static_cast<double>(x); };
  const auto py = [&](int lb_y, float y) { return (y1 - lb_y) * kLandblockUnits + (kLandblockUnits - static_cast<double>(y)); };

  appendf(svg,
          "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" viewBox=\"0 0 %.0f %.0f\" "
          "font-family=\"sans-serif\">\n",
          1600, static_cast<int>(std::lround(1600.0 * total_height / total_width)), total_width, total_height);
  appendf(svg, "<rect width=\"%.0f\" height=\"%.0f\" fill=\"#f4f4f0\"/>\n", total_width, total_height);
  appendf(svg, "<rect width=\"%d\" height=\"%d\" fill=\"#303030\"/>\n", width, height);

  // Terrain and roads, one row of cells at a time, equal neighbours joined.
  const int cells = full_detail ? 8 : 1;
  const double cell_units = static_cast<double>(kLandblockUnits) / cells;
  std::vector<const MapTile*> by_position(static_cast<std::size_t>((x1 - x0 + 1) * (y1 - y0 + 1)), nullptr);
  for (const MapTile& t : tiles) {
    by_position[static_cast<std::size_t>(((t.landblock >> 8) - x0) * (y1 - y0 + 1) + ((t.landblock & 0xFF) - y0))] = &t;
  }
  const auto tile_at = [&](int gx, int gy) -> const MapTile* {
    const int lx = gx / cells, ly = gy / cells;
    const MapTile* t = by_position[static_cast<std::size_t>(lx * (y1 - y0 + 1) + ly)];
    return t != nullptr && t->has_terrain ? t : nullptr;
  };
  const auto level_at = [&](int gx, int gy) -> int {
    const MapTile* t = tile_at(gx, gy);
    if (t == nullptr) return -1;
    if (!full_detail) {
      double sum = 0;
      for (const float h : t->cell_height) sum += h;
      return height_level(static_cast<float>(sum / 64.0), low, high);
    }
    return height_level(t->cell_height[static_cast<std::size_t>((gx % 8) * 8 + gy % 8)], low, high);
  };
  const auto road_at = [&](int gx, int gy) -> bool {
    const MapTile* t = tile_at(gx, gy);
    return t != nullptr && full_detail && ((t->road_cells >> ((gx % 8) * 8 + gy % 8)) & 1) != 0;
  };
  const int columns = (x1 - x0 + 1) * cells, rows = (y1 - y0 + 1) * cells;
  std::string roads;
  svg += "<g id=\"terrain\" shape-rendering=\"crispEdges\">\n";
  for (int gy = 0; gy < rows; ++gy) {
    const double top = (rows - 1 - gy) * cell_units;
    for (int gx = 0; gx < columns;) {
      const int level = level_at(gx, gy);
      int end = gx + 1;
      while (end < columns && level_at(end, gy) == level) ++end;
      if (level >= 0) {
        appendf(svg, "<rect x=\"%g\" y=\"%g\" width=\"%g\" height=\"%g\" fill=\"%s\"/>\n", gx * cell_units, top,
                (end - gx) * cell_units, cell_units, level_colour(level).c_str());
      }
      gx = end;
    }
    for (int gx = 0; gx < columns;) {
      if (!road_at(gx, gy)) {
        ++gx;
        continue;
      }
      int end = gx + 1;
      while (end < columns && road_at(end, gy)) ++end;
      appendf(roads, "<rect x=\"%g\" y=\"%g\" width=\"%g\" height=\"%g\"/>\n", gx * cell_units, top,
              (end - gx) * cell_units, cell_units);
      gx = end;
    }
  }
  svg += "</g>\n<g id=\"roads\" fill=\"#8b5a2b\" fill-opacity=\"0.85\" shape-rendering=\"crispEdges\">\n";
  svg += roads;
  svg += "</g>\n";

  // Landblock borders, faint.
  svg += "<g id=\"grid\" stroke=\"#000\" stroke-opacity=\"0.25\" stroke-width=\"1\">\n";
  for (int x = 1; x <= x1 - x0; ++x) appendf(svg, "<line x1=\"%d\" y1=\"0\" x2=\"%d\" y2=\"%d\"/>\n", x * kLandblockUnits, x * kLandblockUnits, height);
  for (int y = 1; y <= y1 - y0; ++y) appendf(svg, "<line x1=\"0\" y1=\"%d\" x2=\"%d\" y2=\"%d\"/>\n", y * kLandblockUnits, width, y * kLandblockUnits);
  svg += "</g>\n";

  if (draw_footprints) {
    svg += "<g id=\"footprints\" fill=\"#ffffff\" fill-opacity=\"0.35\" stroke=\"#101010\" stroke-width=\"2\">\n";
    for (const MapTile& t : tiles) {
      for (const auto& r : t.footprints) {
        if (!(r.min_x <= r.max_x && r.min_y <= r.max_y)) continue;  // a mesh of NaN points only
        appendf(svg, "<rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\"/>\n", px(t.landblock >> 8, r.min_x),
                py(t.landblock & 0xFF, r.max_y), static_cast<double>(r.max_x - r.min_x),
                static_cast<double>(r.max_y - r.min_y));
      }
    }
    svg += "</g>\n";
  }

  if (draw_marks) {
    // One group per model, models in id order, marks in bake order.
    std::map<std::uint32_t, std::string> groups;
    for (const MapTile& t : tiles) {
      for (const MapMark& m : t.marks) {
        appendf(groups[m.obj_id], "<circle cx=\"%.1f\" cy=\"%.1f\" r=\"3\"/>\n", px(t.landblock >> 8, m.x),
                py(t.landblock & 0xFF, m.y));
      }
    }
    svg += "<g id=\"placements\" stroke=\"#000\" stroke-width=\"0.6\">\n";
    for (const auto& [id, circles] : groups) {
      appendf(svg, "<g fill=\"%s\">\n", model_colour(id).c_str());
      svg += circles;
      svg += "</g>\n";
    }
    svg += "</g>\n";
  }

  // The legend.
  const double lx = width + unit;
  double ly = 1.5 * unit;
  const double font = 0.8 * unit;
  appendf(svg, "<g id=\"legend\" font-size=\"%.1f\" fill=\"#202020\">\n", font);
  appendf(svg, "<text x=\"%.1f\" y=\"%.1f\" font-weight=\"bold\">%s</text>\n", lx, ly, escape_text(title).c_str());
  ly += 1.2 * unit;
  char line[256];
  std::snprintf(line, sizeof line, "%zu landblocks (%zu with terrain), %zu placements", tiles.size(), with_terrain, marks);
  appendf(svg, "<text x=\"%.1f\" y=\"%.1f\">%s</text>\n", lx, ly, line);
  ly += 1.6 * unit;
  const double swatch = 0.8 * unit;
  for (int i = 0; i < kHeightLevels; ++i) {
    appendf(svg, "<rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"%s\"/>\n",
            lx + i * (12.0 * unit / kHeightLevels), ly - swatch, 12.0 * unit / kHeightLevels + 0.5, swatch,
            level_colour(i).c_str());
  }
  ly += 1.0 * unit;
  appendf(svg, "<text x=\"%.1f\" y=\"%.1f\">height %g</text>\n", lx, ly, static_cast<double>(low));
  appendf(svg, "<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"end\">%g</text>\n", lx + 12.0 * unit, ly, static_cast<double>(high));
  ly += 1.4 * unit;
  const auto key = [&](const std::string& shape, const std::string& text) {
    svg += shape;
    appendf(svg, "<text x=\"%.1f\" y=\"%.1f\">%s</text>\n", lx + 1.4 * unit, ly, escape_text(text).c_str());
    ly += 1.2 * unit;
  };
  char buf[256];
  std::snprintf(buf, sizeof buf, "<rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"#8b5a2b\"/>\n", lx, ly - swatch, swatch, swatch);
  key(buf, full_detail ? "road cell (as the bake tests it)" : "roads not drawn at this size");
  std::snprintf(buf, sizeof buf, "<rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"#ffffff\" fill-opacity=\"0.35\" stroke=\"#101010\" stroke-width=\"2\"/>\n", lx, ly - swatch, swatch, swatch);
  key(buf, draw_footprints ? "building footprint" : "footprints left out (" + std::to_string(footprints) + ")");
  std::snprintf(buf, sizeof buf, "<rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"#303030\"/>\n", lx, ly - swatch, swatch, swatch);
  key(buf, "no terrain");
  if (!draw_marks) key("", "placements left out (" + std::to_string(marks) + ")");
  ly += 0.6 * unit;
  appendf(svg, "<text x=\"%.1f\" y=\"%.1f\" font-weight=\"bold\">placements by model</text>\n", lx, ly);
  ly += 1.3 * unit;
  std::vector<std::pair<std::uint32_t, std::size_t>> models(per_model.begin(), per_model.end());
  std::stable_sort(models.begin(), models.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
  const std::size_t shown = std::min<std::size_t>(models.size(), 20);
  for (std::size_t i = 0; i < shown; ++i) {
    std::snprintf(buf, sizeof buf, "<circle cx=\"%.1f\" cy=\"%.1f\" r=\"%.1f\" fill=\"%s\" stroke=\"#000\" stroke-width=\"0.6\"/>\n",
                  lx + swatch / 2, ly - swatch / 2, swatch / 2, model_colour(models[i].first).c_str());
    char text[64];
    std::snprintf(text, sizeof text, "0x%08X  %zu", models[i].first, models[i].second);
    key(buf, text);
  }
  if (models.size() > shown) key("", "… and " + std::to_string(models.size() - shown) + " more models");
  svg += "</g>\n</svg>\n";
  return svg;
}

}  // namespace quillmoor::bake_tool
