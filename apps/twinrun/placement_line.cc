#include "apps/twinrun/placement_line.h"

#include <cmath>
#include <cstdio>

namespace quillmoor::twinrun {

std::string format_fixed6(float value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  if (value == 0.0f) return "0.000000";  // negative zero included
  // The C library converts the exact binary value and rounds to nearest,
  // ties to even, at the requested digit.
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.6f", static_cast<double>(value));
  return buf;
}

std::string placement_line(const bake::SceneryPlacement& p) {
  char id[16];
  std::snprintf(id, sizeof id, "0x%08X", p.obj_id);
  std::string line;
  line.reserve(256);
  line += "{\"obj_id\":\"";
  line += id;
  line += "\",\"x\":" + format_fixed6(p.x);
  line += ",\"y\":" + format_fixed6(p.y);
  line += ",\"z\":" + format_fixed6(p.z);
  line += ",\"qw\":" + format_fixed6(p.qw);
  line += ",\"qx\":" + format_fixed6(p.qx);
  line += ",\"qy\":" + format_fixed6(p.qy);
  line += ",\"qz\":" + format_fixed6(p.qz);
  line += ",\"scale\":" + format_fixed6(p.scale);
  line += ",\"source_cell_x\":" + std::to_string(p.source_cell_x);
  line += ",\"source_cell_y\":" + std::to_string(p.source_cell_y);
  line += ",\"source_obj_idx\":" + std::to_string(p.source_obj_idx);
  line += '}';
  return line;
}

}  // namespace quillmoor::twinrun
