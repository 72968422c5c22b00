// One JSON line per placed scenery object.
#pragma once

#include <string>

#include "quillmoor/scenery_bake/bake.h"

namespace quillmoor::twinrun {

// A float with exactly six decimals, correctly rounded from its exact
// value (ties to even); both zeros print as 0.000000, a negative value that
// rounds to zero keeps its minus sign, non-finite values print as NaN, inf
// and -inf.
std::string format_fixed6(float value);

// {"obj_id":"0x0100002A","x":...,"source_obj_idx":0}
std::string placement_line(const bake::SceneryPlacement& placement);

}  // namespace quillmoor::twinrun
