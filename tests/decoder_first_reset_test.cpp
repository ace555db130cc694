// The player never calls decoder_program_start(): its first reset must give
// the program-start memories all the same. Alone in its program, since any
// earlier decoder call would hide the fault.
#include <gtest/gtest.h>

#include "codec/decoder.h"
#include "codec/tables/tables.h"

#include "gain.h"
#include "lsp.h"
#include "pitch.h"

TEST(DecoderFirstReset, SetsTheProgramStartMemories) {
  reset_frame_decoder();
  for (int j = 0; j < 10; j++) EXPECT_EQ(lsp_decoder_state.previous_lsp[j], LSP_START[j]);
  for (int k = 0; k < 4; k++) EXPECT_EQ(gain_predictor_state.past_energy[k], -14336);
  EXPECT_EQ(pitch_track_state.previous_delay, 30);
}
