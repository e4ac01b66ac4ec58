// The map layout: records in rows or columns, with bases and mirror bits, and back.
#include <gtest/gtest.h>

#include "maps/map_layout.h"
#include "maps/maps_fixtures.h"

namespace tavrik {
namespace {

TEST(MapLayout, RecordsTakeTheBaseAndOrderAndReadBackExceptCellsWithoutATile) {
  // 3 x 2 cells; cell 2 matched no tile and holds 0.
  TileMap map = maps_test::mapOf(3, 2, {0, 1, 0, 2, 0, 1});
  map.flips = {Flip::None, Flip::Horizontal, Flip::None, Flip::Both, Flip::Vertical, Flip::None};
  map.unmatched = 1;
  map.unmatchedCells = {2};
  struct Case {
    MapLayout layout;
    MapPlane plane;
    std::vector<std::uint16_t> records;
  };
  const FlipBits bits{8, 9};
  const std::vector<Case> cases = {
      {{}, MapPlane::Sprite, {0, 1, 0, 2, 0, 1}},
      {{std::nullopt, MapOrder::Columns, std::nullopt}, MapPlane::Sprite, {0, 2, 1, 0, 0, 1}},
      {{std::nullopt, MapOrder::Rows, std::array{10, 20}}, MapPlane::Background, {20, 21, 0, 22, 20, 21}},
      {{std::nullopt, MapOrder::Columns, std::array{65530, 0}}, MapPlane::Sprite, {65530, 65532, 65531, 65530, 0, 65531}},
      {{bits, MapOrder::Columns, std::array{5, 0}}, MapPlane::Sprite, {5, 0x307, 0x106, 0x205, 0, 6}},
  };
  for (const Case& c : cases) {
    const std::vector<std::uint16_t> records = c.layout.records(map, c.plane);
    EXPECT_EQ(records, c.records);
    // Read back, every cell but the one without a tile gives its tile and mirroring again.
    for (size_t k = 0; k < records.size(); ++k) {
      const size_t cell = c.layout.cellOfRecord(k, map.columns, map.rows);
      const std::optional<MapRecord> decoded = c.layout.decode(records[k], c.plane);
      if (cell == 2 && c.layout.base(c.plane) > 0) {
        EXPECT_FALSE(decoded) << "below the base";
        continue;
      }
      ASSERT_TRUE(decoded) << k;
      EXPECT_EQ(decoded->index, map.cells[cell]) << k;
      EXPECT_EQ(decoded->flip, c.layout.flipBits ? map.flips[cell] : Flip::None) << k;
    }
  }
  // Bits that the layout never writes: above the index but not a flip bit.
  EXPECT_FALSE((MapLayout{bits, MapOrder::Rows, std::nullopt}.decode(0x0400, MapPlane::Sprite)));
}

TEST(MapLayout, AListFitsWhenItsLastIndexPlusTheBaseFitsTheRecord) {
  const MapLayout plain;
  EXPECT_NO_THROW(plain.checkFits(MapPlane::Sprite, 65536));
  EXPECT_EQ(maps_test::errorOf([&] { plain.checkFits(MapPlane::Background, 65537); }),
            "Trop de tuiles dans la liste : 65537 (65536 au plus)");
  const MapLayout based{FlipBits{14, 15}, MapOrder::Rows, std::array{0, 16000}};
  EXPECT_NO_THROW(based.checkFits(MapPlane::Sprite, 16384));
  EXPECT_NO_THROW(based.checkFits(MapPlane::Background, 384));
  EXPECT_EQ(maps_test::errorOf([&] { based.checkFits(MapPlane::Background, 385); }),
            "Trop de tuiles dans la liste pour la base 16000 : 385 (384 au plus)");
}

}  // namespace
}  // namespace tavrik
