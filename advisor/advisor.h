#pragma once

// The placement advisor: which empty cell the waiting card should go to.
//
// What it optimises: the expected score of the finished round, that is the
// eight lines (four rows, four columns) each scored with the starter exactly
// as the game scores them, averaged over every way the unseen cards can
// still come. It uses only what the player sees: the cards on the board and
// the card to place. The unseen cards are the other 52 − n; the order of the
// real deck is never an input.
//
// How: every candidate cell is followed through the same sampled futures
// (the unseen cards in a random order, dealt onto the board in turn),
// played out by a fast policy; a finished board is worth its eight lines'
// scores averaged over every unseen card as the starter, computed with the
// game's own scoring. The best few are then played out again on more
// futures, since a close call is decided among them, and the cell with the
// best mean wins. Sharing the futures between candidates makes their
// difference far less noisy than their values.
//
// The fast policy places each card where it most raises the board's worth:
// the sum over the lines of what a line in its state (the ranks of its
// cards, and whether they still share a suit) is expected to score when its
// open places and the starter take random ranks, with the flush chance
// weighted up (see lineworth.h). Cells that differ only by swapping two
// empty rows or columns are tried once, and candidates whose worth is far
// below the best are not played out, which keeps a decision within a few
// milliseconds.
//
// The futures come from the game's own generator seeded by the caller, so
// the same position and seed always give the same cell. The advisor never
// reads the order of the real deck, never places a card and keeps no state
// between calls; advise() may run on any thread.
//
// How well it plays, and the experiments that shaped it, are in the
// README's figures (pegbot, bench/advisor_headroom).

#include "round.h"

#include <array>
#include <cstdint>

namespace advisor {

// The board as the round model numbers it: cell = (row − 1) × 4 + (column − 1).
using square::cellOf;
using square::kCells;
using square::kSide;

// What the player sees while a card waits: the board's card codes (0 for an
// empty cell) and the waiting card.
struct Position {
    std::array<int, kCells> board{};
    int card = 0;
};

// True when the position can occur in a round: the waiting card is a card,
// every board value is 0 or a card, no card appears twice and at least one
// cell is empty.
bool isPlayable(const Position &position);

struct Advice {
    int cell = -1;           // the advised cell; −1 when the position is not playable
    double expected = 0.0;   // estimated final round score after that placement
};

// How much search a decision may use. The default keeps a decision well
// inside 100 ms on one core of a small machine.
struct Effort {
    int futures = 160;       // sampled futures per candidate cell, 1 … 100 000
    double prune = 6.0;      // candidates whose worth is this far below the best are skipped (≥ 0)
    int finalists = 3;       // the best candidates played out again …
    int finalFutures = 480;  // … on this many more futures (0: none)
};

Advice advise(const Position &position, std::uint32_t seed, const Effort &effort = {});

// The expected final round score of putting the waiting card on each cell,
// by the same play-outs as advise(), for every empty cell (no pruning),
// all on the same `futures` sampled futures (1 … 100 000) so that their
// differences are far steadier than their values. Cells that differ only by
// swapping two empty rows or two empty columns lead to the same game and
// get the same value. Occupied cells get NaN; so does every cell of a
// position that is not playable. With one empty cell the value is exact.
std::array<double, kCells> cellValues(const Position &position, std::uint32_t seed, int futures);

} // namespace advisor
