#include "quillmoor/dat/scene.h"

#include "quillmoor/dat/primitives.h"

namespace quillmoor::dat {

BinResult<Scene> Scene::unpack(BinReader& reader) {
  Scene out;
  QM_ASSIGN_OR_RETURN(out.id, reader.read_u32());
  QM_ASSIGN_OR_RETURN(const std::uint32_t count, reader.read_u32());
  QM_ASSIGN_OR_RETURN(out.objects, read_counted<ObjectDesc>(reader, count, ObjectDesc::kSize, [&] {
                        return ObjectDesc::unpack(reader);
                      }));
  return out;
}

}  // namespace quillmoor::dat
