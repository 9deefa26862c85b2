// The table list and the choice of table for a position.
#include "tablebases/tables.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace {

// Names, file lengths in entries (White to move, Black to move) and flags, in the
// order of the published set: three men, then kXkY, kXYk, kXYkZ and kXYZk.
constexpr TableInfo TableList[TableCount + 1] = {
    {"", 0, 0, 0},
    {"kpk", 81664, 84012, 0},
    {"knk", 26282, 28644, 0},
    {"kbk", 27243, 28644, 0},
    {"krk", 27030, 28644, 0},
    {"kqk", 25629, 28644, 0},
    {"kpkp", 3863492, 3863492, 0},
    {"knkp", 4931904, 4981504, 0},
    {"knkn", 1603202, 1603202, TableSymmetric},
    {"kbkp", 5112000, 4981504, 0},
    {"kbkn", 1661823, 1603202, 0},
    {"kbkb", 1661823, 1661823, TableSymmetric},
    {"krkp", 5072736, 4981504, 0},
    {"krkn", 1649196, 1603202, 0},
    {"krkb", 1649196, 1661823, 0},
    {"krkr", 1649196, 1649196, TableSymmetric},
    {"kqkp", 4810080, 4981504, 0},
    {"kqkn", 1563735, 1603202, 0},
    {"kqkb", 1563735, 1661823, 0},
    {"kqkr", 1563735, 1649196, 0},
    {"kqkq", 1563735, 1563735, TableSymmetric},
    {"kppk", 1806671, 1912372, 0},
    {"knpk", 4648581, 5124732, 0},
    {"knnk", 735304, 873642, 0},
    {"kbpk", 4817128, 5124732, 0},
    {"kbnk", 1550620, 1747284, 0},
    {"kbbk", 789885, 873642, 0},
    {"krpk", 4779530, 5124732, 0},
    {"krnk", 1538479, 1747284, 0},
    {"krbk", 1594560, 1747284, 0},
    {"krrk", 777300, 873642, 0},
    {"kqpk", 4533490, 5124732, 0},
    {"kqnk", 1459616, 1747284, 0},
    {"kqbk", 1512507, 1747284, 0},
    {"kqrk", 1500276, 1747284, 0},
    {"kqqk", 698739, 873642, 0},
    {"kppkp", 84219361, 89391280, 0},
    {"kppkn", 108400260, 115899744, 0},
    {"kppkb", 108400260, 120132000, 0},
    {"kppkr", 108400260, 119209296, 0},
    {"kppkq", 108400260, 113036880, 0},
    {"knpkp", 219921779, 231758952, 0},
    {"knpkn", 278914860, 295914240, 0},
    {"knpkb", 278914860, 306720000, 0},
    {"knpkr", 278914860, 304369920, 0},
    {"knpkq", 278914860, 288610560, 0},
    {"knnkp", 137991648, 149445120, 0},
    {"knnkn", 44118240, 48096060, 0},
    {"knnkb", 44118240, 49854690, 0},
    {"knnkr", 44118240, 49475880, 0},
    {"knnkq", 44118240, 46912050, 0},
    {"kbpkp", 227896016, 231758952, 0},
    {"kbpkn", 289027680, 295914240, 0},
    {"kbpkb", 289027680, 306720000, 0},
    {"kbpkr", 289027680, 304369920, 0},
    {"kbpkq", 289027680, 288610560, 0},
    {"kbnkp", 290989584, 298890240, 0},
    {"kbnkn", 93037200, 96192120, 0},
    {"kbnkb", 93037200, 99709380, 0},
    {"kbnkr", 93037200, 98951760, 0},
    {"kbnkq", 93037200, 93824100, 0},
    {"kbbkp", 148223520, 149445120, 0},
    {"kbbkn", 47393100, 48096060, 0},
    {"kbbkb", 47393100, 49854690, 0},
    {"kbbkr", 47393100, 49475880, 0},
    {"kbbkq", 47393100, 46912050, 0},
    {"krpkp", 226121876, 231758952, 0},
    {"krpkn", 286777440, 295914240, 0},
    {"krpkb", 286777440, 306720000, 0},
    {"krpkr", 286777440, 304369920, 0},
    {"krpkq", 286777440, 288610560, 0},
    {"krnkp", 288692928, 298890240, 0},
    {"krnkn", 92308740, 96192120, 0},
    {"krnkb", 92308740, 99709380, 0},
    {"krnkr", 92308740, 98951760, 0},
    {"krnkq", 92308740, 93824100, 0},
    {"krbkp", 299203200, 298890240, 0},
    {"krbkn", 95673600, 96192120, 0},
    {"krbkb", 95673600, 99709380, 0},
    {"krbkr", 95673600, 98951760, 0},
    {"krbkq", 95673600, 93824100, 0},
    {"krrkp", 145901232, 149445120, 0},
    {"krrkn", 46658340, 48096060, 0},
    {"krrkb", 46658340, 49854690, 0},
    {"krrkr", 46658340, 49475880, 0},
    {"krrkq", 46658340, 46912050, 0},
    {"kqpkp", 214481388, 231758952, 0},
    {"kqpkn", 272015040, 295914240, 0},
    {"kqpkb", 272015040, 306720000, 0},
    {"kqpkr", 272015040, 304369920, 0},
    {"kqpkq", 272015040, 288610560, 0},
    {"kqnkp", 273904512, 298890240, 0},
    {"kqnkn", 87576960, 96192120, 0},
    {"kqnkb", 87576960, 99709380, 0},
    {"kqnkr", 87576960, 98951760, 0},
    {"kqnkq", 87576960, 93824100, 0},
    {"kqbkp", 283818240, 298890240, 0},
    {"kqbkn", 90750420, 96192120, 0},
    {"kqbkb", 90750420, 99709380, 0},
    {"kqbkr", 90750420, 98951760, 0},
    {"kqbkq", 90750420, 93824100, 0},
    {"kqrkp", 281568240, 298890240, 0},
    {"kqrkn", 90038460, 96192120, 0},
    {"kqrkb", 90038460, 99709380, 0},
    {"kqrkr", 90038460, 98951760, 0},
    {"kqrkq", 90038460, 93824100, 0},
    {"kqqkp", 131170128, 149445120, 0},
    {"kqqkn", 41944320, 48096060, 0},
    {"kqqkb", 41944320, 49854690, 0},
    {"kqqkr", 41944320, 49475880, 0},
    {"kqqkq", 41944320, 46912050, 0},
    {"kpppk", 26061704, 28388716, 0},
    {"knppk", 102898651, 114742320, 0},
    {"knnpk", 130135501, 153741960, 0},
    {"knnnk", 13486227, 17472840, 0},
    {"kbppk", 106602156, 114742320, 0},
    {"kbnpk", 274352939, 307483920, 0},
    {"kbnnk", 43406294, 52418520, 0},
    {"kbbpk", 139715040, 153741960, 0},
    {"kbbnk", 44983618, 52418520, 0},
    {"kbbbk", 15010230, 17472840, 0},
    {"krppk", 105758666, 114742320, 0},
    {"krnpk", 272153675, 307483920, 0},
    {"krnnk", 43056198, 52418520, 0},
    {"krbpk", 281991360, 307483920, 0},
    {"krbnk", 90787358, 104837040, 0},
    {"krbbk", 46242089, 52418520, 0},
    {"krrpk", 137491197, 153741960, 0},
    {"krrnk", 44265261, 52418520, 0},
    {"krrbk", 45873720, 52418520, 0},
    {"krrrk", 14644690, 17472840, 0},
    {"kqppk", 100347220, 114742320, 0},
    {"kqnpk", 258294639, 307483920, 0},
    {"kqnnk", 40873646, 52418520, 0},
    {"kqbpk", 267576632, 307483920, 0},
    {"kqbnk", 86166717, 104837040, 0},
    {"kqbbk", 43879679, 52418520, 0},
    {"kqrpk", 265421907, 307483920, 0},
    {"kqrnk", 85470603, 104837040, 0},
    {"kqrbk", 88557959, 104837040, 0},
    {"kqrrk", 43157690, 52418520, 0},
    {"kqqpk", 123688859, 153741960, 0},
    {"kqqnk", 39840787, 52418520, 0},
    {"kqqbk", 41270973, 52418520, 0},
    {"kqqrk", 40916820, 52418520, 0},
    {"kqqqk", 12479974, 17472840, 0},
};

// One side's men besides the king as a key: queens * 256 + rooks * 64 + bishops * 16 +
// knights * 4 + pawns, each count at most 3.
constexpr int SideKeys = 1024;
constexpr int SideSets = 56;  // the sets of at most three men of five kinds
constexpr int KeyDigit[7] = {0, 1, 4, 16, 64, 256, 0};

constexpr int KeyOfTypes(const uint8_t* types, int count) {
  int key = 0;
  for (int i = 0; i < count; i++) key += KeyDigit[types[i]];
  return key;
}

constexpr int MenInKey(int key) {
  return (key & 3) + (key >> 2 & 3) + (key >> 4 & 3) + (key >> 6 & 3) + (key >> 8 & 3);
}

// Set number by key (-1 for more than three men), and the stored table by the two sets
// (White's set first; 0 when no table is stored with these colours).
struct MaterialMap {
  std::array<int8_t, SideKeys> setOfKey{};
  std::array<std::array<uint8_t, SideSets>, SideSets> table{};
};

constexpr MaterialMap BuildMaterialMap() {
  MaterialMap map{};
  int next = 0;
  for (int key = 0; key < SideKeys; key++) map.setOfKey[key] = int8_t(MenInKey(key) <= 3 ? next++ : -1);
  for (int t = 1; t <= TableCount; t++) {
    const TableInfo& info = TableList[t];
    int w = map.setOfKey[KeyOfTypes(info.white, info.whiteCount)];
    int b = map.setOfKey[KeyOfTypes(&info.black, info.blackCount)];
    map.table[w][b] = uint8_t(t);
  }
  return map;
}

constexpr MaterialMap Material = BuildMaterialMap();

// The key of one side from its material signature: -1 with four pawns or more.
int SideKey(uint32_t signature) {
  int pawns = int(signature >> 16 & 15);
  if (pawns > 3) return -1;
  return pawns + int(signature >> 20 & 3) * 4 + int(signature >> 22 & 3) * 16 + int(signature >> 24 & 3) * 64 +
         int(signature >> 26 & 3) * 256;
}

// Appends the squares of one colour's men besides the king, queens first.
int CollectMen(const Position& p, int colour, int flip, int* squares, int room) {
  int count = 0;
  for (int type = Queen; type >= Pawn; type--)
    for (uint32_t set = p.typeSlots[type][colour]; set; set &= set - 1) {
      if (count == room) return room + 1;
      squares[count++] = p.pieceList[colour][__builtin_ctz(set)] ^ flip;
    }
  return count;
}

// The file name variants, tried in this order: plain, then the compressed forms.
constexpr const char* NameForms[] = {"%s.%s", "%s.%s.emd", "%s_%s.emd", "%s_%s_emd", "%s%s.emd"};
constexpr const char* SideExtension[2] = {"nbw", "nbb"};

}  // namespace

FILE* OpenTableFile(const char* dir, int table, int side, char* name, size_t room, bool* compressed) {
  size_t dirLength = std::strlen(dir);
  char stem[256];
  std::snprintf(stem, sizeof stem, "%s%s%s", dir, dirLength && dir[dirLength - 1] != '/' ? "/" : "",
                TableList[table].stem);
  for (int form = 0; form < int(std::size(NameForms)); form++) {
    std::snprintf(name, room, NameForms[form], stem, SideExtension[side]);
    if (FILE* file = std::fopen(name, "rb")) {
      *compressed = form > 0;
      return file;
    }
  }
  return nullptr;
}

const TableInfo& Table(int number) { return TableList[number]; }

int FindTable(const char* stem) {
  for (int t = 1; t <= TableCount; t++)
    if (std::strcmp(TableList[t].stem, stem) == 0) return t;
  return 0;
}

bool PositionMen(const Position& p, int side, int route, TableMen* men) {
  int whiteKey = SideKey(p.materialSignature[White]), blackKey = SideKey(p.materialSignature[Black]);
  if (whiteKey < 0 || blackKey < 0) return false;
  int whiteSet = Material.setOfKey[whiteKey], blackSet = Material.setOfKey[blackKey];
  if (whiteSet < 0 || blackSet < 0) return false;
  int direct = Material.table[whiteSet][blackSet], exchanged = Material.table[blackSet][whiteSet];
  bool exchange = route == RouteExchanged || (route == RouteAuto && !direct);
  int table = exchange ? exchanged : direct;
  if (!table) return false;

  // With the colours exchanged, Black's men play White's part on the board turned upside down.
  const TableInfo& info = TableList[table];
  const int flip = exchange ? 56 : 0;
  const int first = exchange ? Black : White;
  int black[2];
  men->table = table;
  men->side = side ^ (exchange ? 1 : 0);
  men->whiteKing = p.kingSquare(first) ^ flip;
  men->blackKing = p.kingSquare(first ^ 1) ^ flip;
  if (CollectMen(p, first, flip, men->white, 3) != info.whiteCount) return false;
  if (CollectMen(p, first ^ 1, flip, black, 1) != info.blackCount) return false;
  men->black = info.blackCount ? black[0] : -1;
  men->ep = p.epSquare && info.whitePawns && info.blackPawns ? p.epSquare ^ flip : -1;
  return true;
}
