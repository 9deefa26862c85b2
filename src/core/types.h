// Basic codes shared by every subsystem: squares, piece types, colours,
// the 16-bit move word and the piece values.
#pragma once

#include <cstdint>

using Square = int;   // 0..63, a1 = 0, b1 = 1, ..., h8 = 63
using Move = uint16_t;

enum PieceType : uint8_t { Empty = 0, Pawn = 1, Knight = 2, Bishop = 3, Rook = 4, Queen = 5, King = 6 };
enum Colour : uint8_t { White = 0, Black = 1, NoColour = 2 };

constexpr int FileOf(int sq) { return sq & 7; }
constexpr int RankOf(int sq) { return sq >> 3; }

// Move word: destination in bits 0-5, origin in bits 6-11, kind in bits 12-14,
// bit 15 marks a checking move and is not part of the move's identity.
constexpr Move KindQuiet = 0x0000;
constexpr Move KindCastle = 0x1000;
constexpr Move KindPromoQueen = 0x2000;
constexpr Move KindPromoKnight = 0x3000;
constexpr Move KindCapture = 0x4000;
constexpr Move KindEnPassant = 0x5000;
constexpr Move KindPromoRook = 0x6000;
constexpr Move KindPromoBishop = 0x7000;
constexpr Move KindMask = 0x7000;
constexpr Move PromoBit = 0x2000;
constexpr Move CheckMark = 0x8000;
constexpr Move NullGameMove = 0xFFFF;   // PlayGameMove: play a null move

constexpr Move CaptureOrPromotionBits = KindCapture | PromoBit;   // either bit: a capture or a promotion

constexpr Move PlainMove(Move m) { return Move(m & ~CheckMark); }   // the move without its check marker
constexpr Move MakeMoveWord(int from, int to, Move kind = KindQuiet) { return Move(to | (from << 6) | kind); }
constexpr int MoveFrom(Move m) { return (m >> 6) & 63; }
constexpr int MoveTo(Move m) { return m & 63; }
constexpr Move MoveKind(Move m) { return m & KindMask; }
constexpr bool IsPromotion(Move m) { return (m & PromoBit) != 0; }

// Promoted piece type by move kind (index = kind >> 12).
constexpr PieceType PromotedType[8] = {Empty, Empty, Queen, Knight, Empty, Empty, Rook, Bishop};

// Material value by piece type, 128 per pawn; the king's entry serves exchange arithmetic only.
constexpr int pieceValue[7] = {0, 128, 416, 416, 640, 1248, 1248};

// Score conventions.
constexpr int MateValue = 8192;
constexpr int MateThreshold = 7800;

// The search's own maximum iteration depth; "go" resets DepthLimit to it, and the evaluation
// is always full from this ply on.
constexpr int SearchMaxDepth = 62;
