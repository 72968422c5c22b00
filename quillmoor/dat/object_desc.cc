#include "quillmoor/dat/object_desc.h"

namespace quillmoor::dat {

// Written out by hand: only the embedded frame adds context lines.
BinResult<ObjectDesc> ObjectDesc::unpack(BinReader& reader) {
  ObjectDesc out;
  QM_ASSIGN_OR_RETURN(out.obj_id, reader.read_u32());
  QM_ASSIGN_OR_RETURN(out.frame, read_frame(reader));
  QM_ASSIGN_OR_RETURN(out.frequency, reader.read_f32());
  QM_ASSIGN_OR_RETURN(out.displace_x, reader.read_f32());
  QM_ASSIGN_OR_RETURN(out.displace_y, reader.read_f32());
  QM_ASSIGN_OR_RETURN(out.min_scale, reader.read_f32());
  QM_ASSIGN_OR_RETURN(out.max_scale, reader.read_f32());
  QM_ASSIGN_OR_RETURN(out.max_rotation, reader.read_f32());
  QM_ASSIGN_OR_RETURN(out.min_slope, reader.read_f32());
  QM_ASSIGN_OR_RETURN(out.max_slope, reader.read_f32());
  QM_ASSIGN_OR_RETURN(out.aux_a, reader.read_i32());
  QM_ASSIGN_OR_RETURN(out.aux_b, reader.read_i32());
  QM_ASSIGN_OR_RETURN(out.skip_flag, reader.read_u32());
  return out;
}

}  // namespace quillmoor::dat
