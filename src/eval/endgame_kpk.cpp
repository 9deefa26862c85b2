// King and pawn against king: an exact table for the pawn side to move, built at start-up by
// working back from the promotions, of the plies the pawn side needs to promote safely (0 when
// the position is drawn), and the evaluator that reads it.
#include <cstring>

#include "board/board.h"
#include "board/geometry.h"
#include "eval/endgame_internal.h"
#include "eval/eval_internal.h"

using namespace endgame;

namespace {

// The table is read with the pawn side as White and its pawn on files a-d, ranks 2-7.
constexpr int KpkPawnFiles = 4;
constexpr int KpkPawnSquares = KpkPawnFiles * 6;
constexpr int KingPairs = 64 * 64;
constexpr int KpkPositions = KpkPawnSquares * KingPairs;
constexpr int Rank2 = 1, Rank7 = 6, Rank8 = 7;
constexpr uint8_t NotWon = 0;

// Score of a won position by the pawn's rank (index 0-7); the rest follows the kings. Less a
// little for every ply the promotion is still away: the root settles every move of this ending by
// its evaluation and picks the best, and without this term that greedy walk can circle into a
// repetition and give the win away.
constexpr int KpkWinBase[8] = {0, 1120, 1160, 1200, 1240, 1280, 1320, 0};
constexpr int KingAdvanceWeight = 2;     // per unit of |7 - 2 x file| + 8 x rank of the pawn side's king
constexpr int KingFileToPawnWeight = 8;  // per file between the pawn side's king and its pawn
constexpr int PlyToPromotionWeight = 8;
constexpr int MinRepetitionDepth = 2;  // below this iteration depth a repeated position counts half
constexpr int MinReversiblePlies = 3;

// Plies to a safe promotion with the pawn side to move; NotWon for a draw.
uint8_t KpkPlies[KpkPositions];
bool KpkBuilt = false;

inline int KpkIndex(int strongKing, int weakKing, int pawn) {
  return ((RankOf(pawn) - Rank2) * KpkPawnFiles + FileOf(pawn)) * KingPairs + strongKing * 64 + weakKing;
}

// King steps by file and rank.
constexpr int KingFileStep[8] = {1, 1, 0, -1, -1, -1, 0, 1};
constexpr int KingRankStep[8] = {0, 1, 1, 1, 0, -1, -1, -1};
inline int KingStep(int sq, int i) {
  int f = FileOf(sq) + KingFileStep[i], r = RankOf(sq) + KingRankStep[i];
  return f < 0 || f > 7 || r < 0 || r > 7 ? NoSquare : r * 8 + f;
}
inline bool PawnAttacks(int pawn, int sq) { return RankOf(sq) == RankOf(pawn) + 1 && FileDistance(sq, pawn) == 1; }

// Whether a queen (diagonals too) or a rook on `piece` attacks `sq`; only the strong king blocks,
// and the defending king does not shield the squares behind it.
bool SliderAttacks(int piece, int sq, int strongKing, bool queen) {
  int df = FileOf(sq) - FileOf(piece), dr = RankOf(sq) - RankOf(piece);
  if (piece == sq || !(df == 0 || dr == 0 || (queen && std::abs(df) == std::abs(dr)))) return false;
  int sf = (df > 0) - (df < 0), sr = (dr > 0) - (dr < 0);
  for (int s = piece + sf + 8 * sr; s != sq; s += sf + 8 * sr)
    if (s == strongKing) return false;
  return true;
}

// After promoting on q with the defending king to move: won unless the new piece falls or the
// defending king is stalemated. A rook wins where a queen would stalemate.
bool PromotionWins(int strongKing, int weakKing, int q) {
  if (Distance(weakKing, q) == 1 && Distance(strongKing, q) > 1) return false;
  for (bool queen : {true, false}) {
    bool stalemate = !SliderAttacks(q, weakKing, strongKing, queen);
    for (int i = 0; i < 8 && stalemate; i++) {
      int t = KingStep(weakKing, i);
      if (t != NoSquare && Distance(t, strongKing) > 1 && !SliderAttacks(q, t, strongKing, queen)) stalemate = false;
    }
    if (!stalemate) return true;
  }
  return false;
}

// The pawn side to move: one ply more than its fastest move to a lost position of the defender.
int StrongPlies(const uint8_t* weakPlies, int sk, int wk, int pawn) {
  int best = NotWon;
  auto take = [&](int plies) {
    if (plies != NotWon && (best == NotWon || plies + 1 < best)) best = plies + 1;
  };
  for (int i = 0; i < 8; i++) {
    int t = KingStep(sk, i);
    if (t != NoSquare && t != pawn && Distance(t, wk) > 1) take(weakPlies[KpkIndex(t, wk, pawn)]);
  }
  int ahead = pawn + 8;
  if (ahead == sk || ahead == wk) return best;
  if (RankOf(ahead) == Rank8) return PromotionWins(sk, wk, ahead) ? 1 : best;
  take(weakPlies[KpkIndex(sk, wk, ahead)]);
  int twoAhead = ahead + 8;
  if (RankOf(pawn) == Rank2 && twoAhead != sk && twoAhead != wk) take(weakPlies[KpkIndex(sk, wk, twoAhead)]);
  return best;
}

// The defending king to move: lost when it has a move and every move reaches a won position,
// one ply more than its slowest; taking the pawn or no move at all (stalemate) holds.
int WeakPlies(const uint8_t* strongPlies, int sk, int wk, int pawn) {
  int worst = NotWon;
  for (int i = 0; i < 8; i++) {
    int t = KingStep(wk, i);
    if (t == NoSquare || Distance(t, sk) <= 1 || PawnAttacks(pawn, t)) continue;
    if (t == pawn) return NotWon;
    int plies = strongPlies[KpkIndex(sk, t, pawn)];
    if (plies == NotWon) return NotWon;
    worst = std::max(worst, plies + 1);
  }
  return worst;
}

// Value of a won position, board already seen with the pawn side as White and pawn on files a-d.
int KpkWinValue(int sk, int wk, int pawn) {
  const int pf = FileOf(pawn), pr = RankOf(pawn);
  const int target = pr == Rank7 ? pr + 1 : pr + 2;  // rank two ahead of the pawn (one from the seventh)
  const int skf = FileOf(sk), skr = RankOf(sk);
  return KpkWinBase[pr] + KingAdvanceWeight * (std::abs(7 - 2 * skf) + 8 * skr) -
         KingFileToPawnWeight * std::abs(pf - skf) + (std::abs(FileOf(wk) - pf) - std::abs(skf - pf)) +
         std::abs(RankOf(wk) - target) - std::abs(skr - target);
}

}  // namespace

void InitEndgameTables() {
  if (KpkBuilt) return;
  // Pawn moves only go forward, so each pawn square is settled from the seventh rank down. Within
  // one pawn square the plies are lowered, starting from "not won", until nothing changes; they
  // never fall below the true distance and reach it after that many rounds.
  static uint8_t weakPlies[KpkPositions];
  std::memset(KpkPlies, NotWon, sizeof KpkPlies);
  std::memset(weakPlies, NotWon, sizeof weakPlies);
  auto lower = [](uint8_t& entry, int plies) {
    if (plies == NotWon || (entry != NotWon && entry <= plies)) return false;
    entry = uint8_t(plies);
    return true;
  };
  for (int rank = Rank7; rank >= Rank2; rank--)
    for (int file = 0; file < KpkPawnFiles; file++) {
      const int pawn = rank * 8 + file;
      // Sweeps alternate in direction, so that distances travel both ways across the board.
      for (bool changed = true, backward = false; changed; backward = !backward) {
        changed = false;
        for (int n = 0; n < KingPairs; n++) {
          const int pair = backward ? KingPairs - 1 - n : n, sk = pair / 64, wk = pair % 64;
          if (sk == pawn || wk == pawn || Distance(sk, wk) <= 1) continue;
          const int i = KpkIndex(sk, wk, pawn);
          if (!PawnAttacks(pawn, wk)) changed |= lower(KpkPlies[i], StrongPlies(weakPlies, sk, wk, pawn));
          changed |= lower(weakPlies[i], WeakPlies(KpkPlies, sk, wk, pawn));
        }
      }
    }
  KpkBuilt = true;
}

int KPKRule(int strong, int strongKing, int weakKing, int pawn, int* kind) {
  // Seen with the pawn side as White and the pawn on files a-d.
  const int flip = (strong == White ? 0 : 56) ^ (FileOf(pawn) >= KpkPawnFiles ? 7 : 0);
  const int sk = strongKing ^ flip, wk = weakKing ^ flip, P = pawn ^ flip;
  if (const int plies = KpkPlies[KpkIndex(sk, wk, P)]; plies != NotWon) {
    *kind = RecordKindWon;
    return KpkWinValue(sk, wk, P) - PlyToPromotionWeight * plies;
  }
  *kind = RecordKindCertainDraw;
  return DrawScore[strong];
}

int KingPawnKingScore(int side, int strong, int* flags, const AttackEntry* strongAttacks) {
  const Position& p = Pos;
  const int weak = strong ^ 1;
  const int sk = p.kingSquare(strong), wk = p.kingSquare(weak);
  const int pawn = FirstPawn(p, strong);
  int value, kind;
  if (side == weak) {
    // Step 1: the defending king's best move; taking the pawn draws.
    value = DrawScore[side];
    kind = RecordKindCertainDraw;
    bool moved = false;
    for (const uint8_t* t = Geo.kingTargets[wk]; *t != EndOfList; t++) {
      if (strongAttacks[*t].counts) continue;
      int v = DrawScore[side], k = RecordKindCertainDraw;
      if (*t != pawn) {
        v = -KPKRule(strong, sk, *t, pawn, &k);
        if (k == RecordKindWon) k = RecordKindLost;
      }
      if (!moved || v > value) {
        value = v;
        kind = k;
      }
      moved = true;
    }
  } else {
    // Step 2: the pawn side to move reads the table.
    value = KPKRule(strong, sk, wk, pawn, &kind);
  }
  // Step 3: report the kind; early in the search a repeated position counts half.
  *flags |= kind;
  if (EvalIterationDepth < MinRepetitionDepth && p.ply - p.lastIrreversiblePly > MinReversiblePlies && IsRepetition())
    value /= 2;
  return value;
}
