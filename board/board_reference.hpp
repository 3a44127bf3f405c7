// The plain move: the marking, the drop pass and the closing pass cell by cell over the whole
// board, exactly as first written. play_move must leave every byte of the buffer as these do;
// the tests and the fuzzer compare the two. The refusal test, one column's drop, the closing
// pass and the column shift are the engine's own, unchanged; here the passes start at column 0.
#pragma once

#include <cstdint>

int32_t reference_play_move(int32_t column, int32_t row);
void reference_mark_group(int32_t position);
void reference_collapse_board();
void reference_drop_columns(int32_t q);
