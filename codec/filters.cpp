// LPC bandwidth expansion, inverse filter and synthesis filter.
#include "codec/filters.h"

void weight_lpc(const Word16* a, Word16 gamma, Word16 m, Word16* ap) {
  ap[0] = a[0];
  if (m <= 0) return;
  Word16 fac = gamma;
  for (int i = 1; i < m; i++) {
    ap[i] = round(L_mult(a[i], fac));
    fac = round(L_mult(fac, gamma));
  }
  ap[m] = round(L_mult(a[m], fac));
}

void residual_filter(Word16 m, const Word16* a, const Word16* x, Word16* y, Word16 n) {
  for (int i = 0; i < n; i++) {
    Word32 s = L_mult(x[i], a[0]);
    for (int j = 1; j <= m; j++) s = L_mac(s, a[j], x[i - j]);
    y[i] = round(L_shl(s, 3));
  }
}

void synthesis_filter(Word16 m, const Word16* a, const Word16* x, Word16* y, Word16 n, Word16* mem,
                      Word16 update) {
  if (m < 0 || n < 0 || m + n > SYNTHESIS_BUFFER_LENGTH) return;

  // yy[0..m-1] is the memory, yy[m + i] the output y[i]. Working apart from
  // y lets x and y be the same buffer.
  Word16 yy[SYNTHESIS_BUFFER_LENGTH];
  for (int i = 0; i < m; i++) yy[i] = mem[i];
  Word16* out = yy + m;
  for (int i = 0; i < n; i++) {
    Word32 s = L_mult(x[i], a[0]);
    for (int j = 1; j <= m; j++) s = L_msu(s, a[j], out[i - j]);
    out[i] = round(L_shl(s, 3));
  }
  for (int i = 0; i < n; i++) y[i] = out[i];
  // The last m words of the work buffer: y[n-m..n-1], or, when n < m, the
  // older memory words followed by all n outputs.
  if (update != 0 && m > 0) {
    for (int i = 0; i < m; i++) mem[i] = yy[n + i];
  }
}
