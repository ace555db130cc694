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
    const t0 = process.hrtime.bigint();
    run('decode', file, '-o', path.join(dir, 'timing.raw'));
    e.nativeMs = Number(process.hrtime.bigint() - t0) / 1e6;
    expected[f] = e;
  }
  return expected;
}
