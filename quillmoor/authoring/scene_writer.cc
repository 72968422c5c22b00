#include "quillmoor/authoring/scene_writer.h"

#include "quillmoor/authoring/math_records_writer.h"

namespace quillmoor::authoring {

void write_object_desc(ByteWriter& out, const dat::ObjectDesc& desc) {
  out.u32(desc.obj_id);
  write_frame(out, desc.frame);
  out.f32(desc.frequency)
      .f32(desc.displace_x)
      .f32(desc.displace_y)
      .f32(desc.min_scale)
      .f32(desc.max_scale)
      .f32(desc.max_rotation)
      .f32(desc.min_slope)
      .f32(desc.max_slope)
      .i32(desc.aux_a)
      .i32(desc.aux_b)
      .u32(desc.skip_flag);
}

std::vector<std::uint8_t> write_scene(const dat::Scene& scene) {
  ByteWriter out;
  out.u32(scene.id).u32(static_cast<std::uint32_t>(scene.objects.size()));
  for (const auto& desc : scene.objects) write_object_desc(out, desc);
  return std::move(out).bytes();
}

}  // namespace quillmoor::authoring
