// The sample world's models: small meshes for trees, bushes, rocks and
// buildings, stored as graphics objects and setup models that between them
// use every feature of both formats.
#pragma once

#include <cstdint>
#include <vector>

#include <string>

#include "quillmoor/authoring/archive_writer.h"
#include "quillmoor/common/result.h"

namespace quillmoor::worldgen {

// Every graphics object and setup model of the portal archive, including
// the deliberately broken ones; an error names a model the writers refused.
Result<std::vector<authoring::ArchiveFile>, std::string> model_files();

}  // namespace quillmoor::worldgen
