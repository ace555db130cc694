// Test messages made with the quillo tool: every rate, effects, damaged
// blocks, a short last block, a non-message; with what `quillo decode` and
// `quillo info` say of each.
import { execFileSync } from 'node:child_process';
import crypto from 'node:crypto';
import fs from 'node:fs';
import path from 'node:path';

const RATES = ['6.4', '8', '11.8'];
const FRAME_BYTES = [8, 10, 18];
const PAYLOAD_OFFSET = 98304;
const FIRST_BLOCK = PAYLOAD_OFFSET + 12;

// Seeded frames (a small xorshift), first bit set so no 6.4 kbit/s frame
// starts like another rate's block header.
function frames(rate, count, seed) {
  const out = Buffer.alloc(count * FRAME_BYTES[rate]);
  let x = seed >>> 0 || 1;
  for (let i = 0; i < out.length; i++) {
    x ^= x << 13; x >>>= 0; x ^= x >>> 17; x ^= x << 5; x >>>= 0;
    out[i] = x & 0xff;
  }
  for (let i = 0; i < count; i++) out[i * FRAME_BYTES[rate]] |= 1;
  return out;
}

export const sha256 = (bytes) => crypto.createHash('sha256').update(bytes).digest('hex');

export function makeFixtures(tool, dir, sampleFrames) {
  fs.mkdirSync(dir, { recursive: true });
  const run = (...args) => execFileSync(tool, args, { stdio: ['ignore', 'pipe', 'pipe'] });
  const pack = (name, rate, effect, data) => {
    fs.writeFileSync(path.join(dir, `${name}.frames`), data);
    run('pack', '--rate', RATES[rate], '--effect', String(effect), '--depth-byte', '40',
      path.join(dir, `${name}.frames`), '-o', path.join(dir, `${name}.qlo`));
    return path.join(dir, `${name}.qlo`);
  };
  const damage = (file, block, at, plainValue) => {
    const b = fs.readFileSync(file);
    b[FIRST_BLOCK + 512 * block + at] = plainValue ^ 0x6e;
    fs.writeFileSync(file, b);
  };
  pack('sample', 1, 0, fs.readFileSync(sampleFrames));
  pack('rate64-reverb', 0, 3, frames(0, 200, 1));
  damage(pack('rate80-delay-rejected', 1, 10, frames(1, 160, 2)), 1, 0, 0x20);
  damage(pack('rate118-pitch-stray', 2, 13, frames(2, 90, 3)), 0, 7, 0x01);
  const short = pack('rate80-short', 1, 5, frames(1, 70, 4));
  fs.truncateSync(short, fs.statSync(short).size - 300);
  for (let rate = 0; rate < 3; rate++) pack(`long${RATES[rate]}`, rate, 0, frames(rate, 3000, 10 + rate));
  fs.writeFileSync(path.join(dir, 'not-a-message.txt'), 'hello, this is not a message\n');

  const expected = {};
  for (const f of fs.readdirSync(dir).filter((n) => n.endsWith('.qlo'))) {
    const file = path.join(dir, f);
    const e = {};
    for (const dry of [false, true]) {
      const raw = path.join(dir, `${f}${dry ? '.dry' : ''}.raw`);
      run('decode', file, '-o', raw, ...(dry ? ['--dry'] : []));
      e[dry ? 'dry' : 'wet'] = sha256(fs.readFileSync(raw));
    }
    run('decode', file, '-o', path.join(dir, `${f}.wav`));
    e.wav = sha256(fs.readFileSync(path.join(dir, `${f}.wav`)));
    let info;
    try { info = run('info', file).toString(); } catch (err) { info = err.stdout.toString(); }
    e.blocks = Number(/blocks: +(\d+)/.exec(info)[1]);
    e.rejected = Number(/rejected: (\d+)/.exec(info)[1]);
    e.nativeMs = Infinity;  // the whole run of the tool, its start included
    for (let i = 0; i < 3; i++) {
      const t0 = process.hrtime.bigint();
      run('decode', file, '-o', path.join(dir, 'timing.raw'));
      e.nativeMs = Math.min(e.nativeMs, Number(process.hrtime.bigint() - t0) / 1e6);
    }
    expected[f] = e;
  }
  return expected;
}

// The samples `quillo decode` makes of a message (with --dry when `dry`).
export function toolDecode(tool, file, dry = false) {
  const raw = `${file}.decoded.raw`;
  execFileSync(tool, ['decode', file, '-o', raw, ...(dry ? ['--dry'] : [])]);
  return fs.readFileSync(raw);
}

// How alike two 16-bit recordings are: the best correlation of their 10 ms
// energy contours over every shift of `b` (circular when `loop`, as a
// looping microphone plays it) within its length. 1 is the same speech.
export function speechLikeness(a, b, loop) {
  const contour = (buf) => {
    const s = new Int16Array(buf.buffer, buf.byteOffset, buf.length >> 1);
    const e = new Float64Array(Math.floor(s.length / 80));
    for (let f = 0; f < e.length; f++) {
      let sum = 0;
      for (let i = 0; i < 80; i++) sum += s[80 * f + i] ** 2;
      e[f] = Math.log1p(sum / 80);
    }
    return e;
  };
  const x = contour(a), y = contour(b);
  const n = loop ? x.length : Math.min(x.length, y.length);
  let best = -1;
  for (let lag = 0; lag < (loop ? y.length : 20); lag++) {
    let sx = 0, sy = 0, sxx = 0, syy = 0, sxy = 0;
    for (let i = 0; i < n; i++) {
      const u = x[i], v = y[(i + lag) % y.length];
      sx += u; sy += v; sxx += u * u; syy += v * v; sxy += u * v;
    }
    const r = (n * sxy - sx * sy) / Math.sqrt((n * sxx - sx * sx) * (n * syy - sy * sy));
    if (r > best) best = r;
  }
  return best;
}
