#include "bank/GeneratorMap.h"

#include <array>

namespace kbn {
namespace {

struct GeneratorMapRow {
    uint16_t soundFontNumber;
    uint16_t bankId;
};

// Ascending SoundFont number.
constexpr std::array<GeneratorMapRow, 52> kGeneratorMap = {{
    {0, 18},  {1, 19},  {2, 20},  {3, 21},  {4, 22},  {5, 26},  {6, 31},  {7, 35},
    {8, 14},  {9, 15},  {10, 27}, {11, 34}, {12, 23}, {13, 28}, {15, 16}, {16, 17},
    {17, 8},  {21, 30}, {22, 29}, {23, 33}, {24, 32}, {25, 36}, {26, 37}, {27, 38},
    {28, 39}, {29, 40}, {30, 41}, {31, 42}, {32, 43}, {33, 44}, {34, 45}, {35, 46},
    {36, 47}, {37, 48}, {38, 49}, {39, 50}, {40, 51}, {41, 52}, {43, 2},  {44, 3},
    {45, 24}, {46, 10}, {47, 11}, {48, 9},  {50, 25}, {51, 7},  {52, 5},  {53, 1},
    {54, 6},  {56, 12}, {57, 13}, {58, 4},
}};

constexpr uint16_t kUnmapped = 0;

// Direct lookup tables built from the map, so that a lookup is one load.
constexpr std::array<uint16_t, 59> BuildForward() {
    std::array<uint16_t, 59> table{};
    for (const GeneratorMapRow& row : kGeneratorMap) table[row.soundFontNumber] = row.bankId;
    return table;
}

constexpr std::array<uint16_t, 53> BuildInverse() {
    std::array<uint16_t, 53> table{};
    for (const GeneratorMapRow& row : kGeneratorMap) table[row.bankId] = row.soundFontNumber;
    return table;
}

constexpr std::array<uint16_t, 59> kForward = BuildForward();
constexpr std::array<uint16_t, 53> kInverse = BuildInverse();

}  // namespace

std::optional<uint16_t> LookupGenerator(uint16_t soundFontNumber) {
    if (soundFontNumber >= kForward.size() || kForward[soundFontNumber] == kUnmapped) return std::nullopt;
    return kForward[soundFontNumber];
}

std::optional<uint16_t> SoundFontGeneratorOf(uint16_t bankId) {
    if (bankId == 0 || bankId >= kInverse.size()) return std::nullopt;
    return kInverse[bankId];
}

}  // namespace kbn
