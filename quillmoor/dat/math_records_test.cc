#include "quillmoor/dat/math_records.h"

#include <bit>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "quillmoor/authoring/byte_writer.h"

namespace quillmoor::dat {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint32_t bits(float f) { return std::bit_cast<std::uint32_t>(f); }

TEST(MathRecordsTest, ReadsFieldsInOrder) {
  const Bytes v3 = {0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x40, 0x40};
  BinReader r(v3);
  const Vector3 v = read_vector3(r).value();
  EXPECT_EQ(bits(v.x), 0x3F800000u);  // 1.0
  EXPECT_EQ(bits(v.y), 0x40000000u);  // 2.0
  EXPECT_EQ(bits(v.z), 0x40400000u);  // 3.0
  EXPECT_EQ(r.position(), 12u);

  Bytes one_then_zeros = {0x00, 0x00, 0x80, 0x3F};
  one_then_zeros.resize(16, 0);
  BinReader rq(one_then_zeros);
  const Quaternion q = read_quaternion(rq).value();
  EXPECT_EQ(bits(q.w), 0x3F800000u);
  EXPECT_EQ(bits(q.x) | bits(q.y) | bits(q.z), 0u);
  BinReader rp(one_then_zeros);
  const Plane p = read_plane(rp).value();
  EXPECT_EQ(bits(p.normal.x), 0x3F800000u);
  EXPECT_EQ(bits(p.d), 0u);
  EXPECT_EQ(rp.position(), 16u);

  authoring::ByteWriter w;
  w.f32(1).f32(2).f32(3);           // origin
  w.f32(4).f32(5).f32(6).f32(7);    // w, x, y, z
  w.f32(-8).f32(0).f32(0).f32(-1);  // a sphere behind it
  BinReader rf(w.bytes());
  const Frame f = read_frame(rf).value();
  EXPECT_EQ(rf.position(), 28u);
  EXPECT_EQ(bits(f.origin.z), bits(3.0f));
  EXPECT_EQ(bits(f.orientation.w), bits(4.0f));
  EXPECT_EQ(bits(f.orientation.z), bits(7.0f));
  const Sphere s = read_sphere(rf).value();
  EXPECT_EQ(bits(s.center.x), bits(-8.0f));
  EXPECT_EQ(bits(s.radius), bits(-1.0f));  // kept, not validated
}

TEST(MathRecordsTest, NaNAndInfinityPassThrough) {
  authoring::ByteWriter w;
  w.u32(0x7FC00001).u32(0xFF800000).u32(0x00000001);
  BinReader r(w.bytes());
  const Vector3 v = read_vector3(r).value();
  EXPECT_EQ(bits(v.x), 0x7FC00001u);
  EXPECT_EQ(bits(v.y), 0xFF800000u);
  EXPECT_EQ(bits(v.z), 0x00000001u);
}

TEST(MathRecordsTest, ShortRecordsNameTheFieldAndRewind) {
  enum Which { kVector, kQuaternion, kPlane, kSphere, kFrame };
  const struct {
    const char* name;
    Which which;
    std::size_t available;
    const char* message;
  } cases[] = {
      {"vector without z", kVector, 8, "failed to fill whole buffer\nWhile parsing field 'z' in Vector3"},
      {"empty vector", kVector, 0, "failed to fill whole buffer\nWhile parsing field 'x' in Vector3"},
      {"quaternion without y", kQuaternion, 11,
       "failed to fill whole buffer\nWhile parsing field 'y' in Quaternion"},
      {"plane inside normal", kPlane, 5,
       "failed to fill whole buffer\nWhile parsing field 'y' in Vector3\nWhile parsing field 'normal' in Plane"},
      {"plane without d", kPlane, 12, "failed to fill whole buffer\nWhile parsing field 'd' in Plane"},
      {"sphere with 14 bytes", kSphere, 14, "failed to fill whole buffer\nWhile parsing field 'radius' in Sphere"},
      {"frame inside origin y", kFrame, 6,
       "failed to fill whole buffer\nWhile parsing field 'y' in Vector3\nWhile parsing field 'origin' in Frame"},
      {"frame inside orientation", kFrame, 27,
       "failed to fill whole buffer\nWhile parsing field 'z' in Quaternion\n"
       "While parsing field 'orientation' in Frame"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // Two bytes before the record, so that rewinding has somewhere to go.
    Bytes b(2 + c.available, 0);
    BinReader r(b, 2);
    std::string message;
    switch (c.which) {
      case kVector: message = read_vector3(r).error().message(); break;
      case kQuaternion: message = read_quaternion(r).error().message(); break;
      case kPlane: message = read_plane(r).error().message(); break;
      case kSphere: message = read_sphere(r).error().message(); break;
      case kFrame: message = read_frame(r).error().message(); break;
    }
    EXPECT_EQ(message, c.message);
    EXPECT_EQ(r.position(), 2u);
  }
}

}  // namespace
}  // namespace quillmoor::dat
