// Builds the static geometry tables once at start-up.
#include "board/geometry.h"

#include <cstdlib>
#include <cstring>

#include "core/types.h"

Geometry Geo;

namespace {

// File and rank deltas of each direction code.
constexpr int FileDelta[16] = {1, 0, -1, 0, -1, 1, -1, 1, -1, -2, -2, -1, 1, 2, 2, 1};
constexpr int RankDelta[16] = {0, 1, 0, -1, 1, 1, -1, -1, -2, -1, 1, 2, 2, 1, -1, -2};

int Step(int sq, int d) {
  int f = FileOf(sq) + FileDelta[d], r = RankOf(sq) + RankDelta[d];
  if (f < 0 || f > 7 || r < 0 || r > 7) return OffBoard;
  return r * 8 + f;
}

// Rays of a slider type in direction order: rook E N W S, bishop NW NE SW SE, queen 0-7.
void BuildRays(int type, int firstDir, int lastDir) {
  for (int sq = 0; sq < 64; sq++) {
    int n = 0;
    for (int d = firstDir; d <= lastDir; d++) {
      int start = n;
      for (int s = Step(sq, d); s != OffBoard; s = Step(s, d)) {
        Geo.rays[type][sq][n] = uint8_t(s);
        Geo.rayDirection[type][sq][n] = uint8_t(d);
        n++;
      }
      for (int i = start; i < n; i++) Geo.raySkip[type][sq][i] = uint8_t(n - 1 - i);
    }
    Geo.rays[type][sq][n] = EndOfList;
  }
}

}  // namespace

void InitGeometry() {
  std::memset(&Geo, 0, sizeof Geo);
  std::memset(Geo.direction, NoDirection, sizeof Geo.direction);
  for (int d = 0; d < 17; d++)
    for (int sq = 0; sq < 64; sq++) Geo.nextSquare[d][sq] = d < 16 ? uint8_t(Step(sq, d)) : OffBoard;

  for (int b = 0; b < 64; b++) {
    // Lines: walk from b in each line direction; every square reached lies in that direction.
    for (int d = 0; d < 8; d++)
      for (int s = Step(b, d); s != OffBoard; s = Step(s, d)) Geo.direction[s][b] = uint8_t(d);
    for (int d = 8; d < 16; d++) {
      int s = Step(b, d);
      if (s != OffBoard) Geo.direction[s][b] = uint8_t(d);
    }
    int nk = 0, nn = 0;
    for (int d = 0; d < 8; d++) {
      int s = Step(b, d);
      if (s != OffBoard) {
        Geo.adjacent[b][s] = 1;
        Geo.kingTargets[b][nk++] = uint8_t(s);
      }
    }
    for (int d = 8; d < 16; d++) {
      int s = Step(b, d);
      if (s != OffBoard) Geo.knightTargets[b][nn++] = uint8_t(s);
    }
    Geo.kingTargets[b][nk] = EndOfList;
    Geo.knightTargets[b][nn] = EndOfList;
    for (int c = 0; c < 2; c++) {
      int n = 0;
      const int dirs[2][2] = {{4, 5}, {6, 7}};
      for (int d : dirs[c]) {
        int s = Step(b, d);
        if (s != OffBoard) Geo.pawnTargets[c][b][n++] = uint8_t(s);
      }
      Geo.pawnTargets[c][b][n] = EndOfList;
    }
    Geo.shade[b] = uint8_t((FileOf(b) + RankOf(b)) % 2 == 0);
  }
  BuildRays(Bishop, 4, 7);
  BuildRays(Rook, 0, 3);
  BuildRays(Queen, 0, 7);
  for (int i = 1; i < 256; i++) {
    int hi = 7;
    while (!(i >> hi & 1)) hi--;
    int lo = 0;
    while (!(i >> lo & 1)) lo++;
    Geo.highBit[i] = uint8_t(hi);
    Geo.lowBit[i] = uint8_t(lo);
  }
}
