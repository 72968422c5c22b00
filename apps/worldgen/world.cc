#include "apps/worldgen/world.h"

#include <algorithm>
#include <utility>

#include "apps/worldgen/catalogue.h"
#include "apps/worldgen/landblocks.h"
#include "apps/worldgen/models.h"
#include "apps/worldgen/terrain.h"
#include "quillmoor/authoring/region_writer.h"
#include "quillmoor/authoring/scene_writer.h"

namespace quillmoor::worldgen {

namespace {

void sort_by_id(std::vector<WorldFile>& files) {
  std::stable_sort(files.begin(), files.end(), [](const WorldFile& a, const WorldFile& b) { return a.id < b.id; });
}

// Opaque files of kinds the tool never reads (textures, palettes), so that
// the portal directory holds more than the tool's own kinds.
std::vector<WorldFile> filler_files(std::uint64_t seed) {
  std::vector<WorldFile> out;
  for (std::uint32_t k = 0; k < 40; ++k) {
    const std::uint32_t id = (k % 2 == 0 ? 0x06000000u : 0x04000000u) + k;
    std::vector<std::uint8_t> bytes(64 + (world_hash(seed, 0xF111, k) % 3000));
    // Texture-like content: runs and gradients, which compress well.
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>((i / 7) ^ (k * 31));
    out.push_back(WorldFile{id, std::move(bytes), k % 4 == 0 ? 0x1u : 0u, k % 4 == 0});
  }
  return out;
}

}  // namespace

bool is_deliberately_broken(std::uint32_t file_id) {
  return file_id == kBrokenGfx || file_id == kSceneBroken ||
         file_id == dat::terrain_file_id(kLandblockWithTruncatedTerrain) ||
         file_id == dat::info_file_id(kLandblockWithBrokenInfo);
}

std::vector<std::uint16_t> world_landblocks(Extent extent) {
  std::vector<std::uint16_t> ids;
  if (extent == Extent::kWorld) {
    for (unsigned id = 0; id <= 0xFFFF; ++id) ids.push_back(static_cast<std::uint16_t>(id));
    return ids;
  }
  // The ring (x 0xA3..0xAF, y 0xAE..0xBA) and one landblock of land around it.
  for (unsigned x = 0xA2; x <= 0xB0; ++x) {
    for (unsigned y = 0xAD; y <= 0xBB; ++y) ids.push_back(static_cast<std::uint16_t>((x << 8) | y));
  }
  return ids;
}

Result<ArchiveContent, ErrorChain> generate_portal(const Options& options) {
  ArchiveContent portal;
  portal.options.block_size = 1024;
  portal.options.max_entries_per_node = 13;  // a directory several levels deep
  portal.options.header.magic = 0x00005442;
  portal.options.header.dataset = 1;

  const dat::Region region = sample_region();
  portal.files.push_back(WorldFile{dat::kRegionFileId, authoring::write_region(region), 0x1, true});
  int k = 0;
  for (const dat::Scene& scene : sample_scenes()) {
    portal.files.push_back(WorldFile{scene.id, authoring::write_scene(scene), k % 3 == 1 ? 0x1u : 0u, k % 3 == 1});
    ++k;
  }
  // A scene cut off inside its second descriptor.
  auto broken = authoring::write_scene(sample_scenes().front());
  broken.resize(8 + dat::ObjectDesc::kSize + 20);
  portal.files.push_back(WorldFile{kSceneBroken, std::move(broken), 0, false});

  auto models = model_files();
  if (!models.ok()) return Err{ErrorChain(models.error()).context("build the sample world's models")};
  for (auto& file : *models) portal.files.push_back(std::move(file));
  for (auto& file : filler_files(options.seed)) portal.files.push_back(std::move(file));
  sort_by_id(portal.files);
  return portal;
}

namespace {

authoring::ArchiveOptions cell_options() {
  authoring::ArchiveOptions options;
  options.block_size = 256;
  options.max_entries_per_node = 61;
  options.header.magic = 0x00005442;
  options.header.dataset = 2;
  return options;
}

// Every file of the cell archive in increasing id order, landblock by
// landblock: its interior cells (whole world only), its info, its terrain.
template <class Sink>
auto for_each_cell_file(const Options& options, const Progress& progress, Sink&& sink)
    -> decltype(sink(std::declval<WorldFile&&>())) {
  const TerrainModel model(options.seed);
  const std::vector<unsigned> scene_types = scene_types_per_terrain_kind(sample_region());
  const std::vector<std::uint16_t> landblocks = world_landblocks(options.extent);
  for (std::size_t i = 0; i < landblocks.size(); ++i) {
    std::vector<WorldFile> files;
    if (options.extent == Extent::kWorld) files = interior_cell_files(options.seed, landblocks[i]);
    for (auto& file : landblock_files(model, options.seed, landblocks[i], scene_types)) {
      files.push_back(std::move(file));
    }
    for (auto& file : files) QM_TRY(sink(std::move(file)));
    if (progress && (i + 1) % 1024 == 0) progress(i + 1, landblocks.size());
  }
  if (progress) progress(landblocks.size(), landblocks.size());
  return Ok{};
}

std::size_t cell_file_count(const Options& options) {
  std::size_t n = 0;
  for (const std::uint16_t lb : world_landblocks(options.extent)) {
    if (lb == kLandblockWithoutTerrain) continue;
    n += lb == kLandblockWithoutInfo ? 1 : 2;
    if (options.extent == Extent::kWorld) n += interior_cell_count(options.seed, lb);
  }
  return n;
}

}  // namespace

ArchiveContent generate_cell(const Options& options, const Progress& progress) {
  ArchiveContent cell;
  cell.options = cell_options();
  (void)for_each_cell_file(options, progress, [&](WorldFile&& file) -> Result<Ok, int> {
    cell.files.push_back(std::move(file));
    return Ok{};
  });
  sort_by_id(cell.files);  // already in order; kept as the guarantee
  return cell;
}

Result<Ok, ErrorChain> write_world(const std::filesystem::path& directory, const Options& options,
                                   const Progress& progress) {
  std::error_code ec;
  std::filesystem::create_directories(directory, ec);
  if (ec) return Err{ErrorChain(IoError::from_errno(ec.value()).message()).context("create " + directory.string())};

  QM_ASSIGN_OR_RETURN(const ArchiveContent portal, generate_portal(options));
  const auto portal_path = directory / "client_portal.dat";
  if (auto written = authoring::write_archive(portal_path, portal.files, portal.options); !written.ok()) {
    return Err{written.error().to_chain().context("write " + portal_path.string())};
  }
  // The whole world's cell archive is about a gigabyte: written as it is
  // made, never held in memory.
  const auto cell_path = directory / "client_cell_1.dat";
  auto written = [&]() -> dat::DatResult<Ok> {
    QM_ASSIGN_OR_RETURN(auto writer,
                        authoring::ArchiveFileWriter::create(cell_path, cell_file_count(options), cell_options()));
    QM_TRY(for_each_cell_file(options, progress, [&](WorldFile&& file) { return writer.add(file); }));
    return writer.finish();
  }();
  if (!written.ok()) return Err{written.error().to_chain().context("write " + cell_path.string())};
  return Ok{};
}

}  // namespace quillmoor::worldgen
