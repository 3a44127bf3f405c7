// The plain move, for the tests and the fuzzers only: the rules' steps as they read, over the
// whole board. play_move must leave every byte of the buffer as this does.
#pragma once

#include <cstdint>

// 1 and the group removed, or 0 and nothing changed, like play_move.
int32_t reference_play_move(int32_t column, int32_t row);
