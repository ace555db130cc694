#include "encoder/lp_analysis.h"

LevinsonState levinson_state;

void reset_lp_analysis() {}
void lp_autocorrelation(const Word16* x, Word16* r_h, Word16* r_l) {
  (void)x, (void)r_h, (void)r_l;
}
void lp_lag_window(Word16* r_h, Word16* r_l) { (void)r_h, (void)r_l; }
void levinson(const Word16* r_h, const Word16* r_l, Word16* a, Word16* rc) {
  (void)r_h, (void)r_l;
  for (int i = 0; i < 11; i++) a[i] = i == 0 ? 4096 : 0;
  for (int i = 0; i < 10; i++) rc[i] = 0;
}
void lpc_to_lsp(const Word16* a, Word16* lsp, const Word16* old_lsp) {
  (void)a;
  for (int i = 0; i < 10; i++) lsp[i] = old_lsp[i];
}
void interpolate_unquantized(const Word16* old_lsp, const Word16* new_lsp, Word16* a_first,
                             Word16* lsf_int, Word16* lsf_new) {
  (void)old_lsp, (void)new_lsp;
  for (int i = 0; i < 11; i++) a_first[i] = i == 0 ? 4096 : 0;
  for (int i = 0; i < 10; i++) lsf_int[i] = lsf_new[i] = 0;
}
