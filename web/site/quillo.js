// Quillo's message reader, decoder, voice effects and encoder in the
// browser, as an ES module around quillo.wasm.
//
//   import { createQuillo } from './quillo.js';
//   const q = await createQuillo();           // or createQuillo({ wasmBytes })
//   q.info(bytes)              -> { rateCode, rate, effectId, depthByte, seconds, blocks, rejected, ... }
//   q.decode(bytes, { dry })   -> Int16Array, the samples `quillo decode` writes
//   q.stream(bytes, { dry })   -> { info, bufferSamples, next() -> Int16Array | null,
//                                   resume(blockPosition), close() }
//   q.title(info, position)    -> "QLO [hh:mm:ss]-[hh:mm:ss]"
//   q.encode(pcm8k, { rate })  -> Uint8Array of frames, as `quillo encode` writes them
//   q.make(pcm8k, { rate, effectId, depthByte, player })
//                              -> Uint8Array of a message file, as `quillo make` writes it
//   q.effects                  -> [{ id, name, description }] of the 17 effect choices
//
// `bytes` is a Uint8Array holding a whole message file. Errors are thrown as
// QuilloError with a one-line message. One instance decodes one stream at a
// time: starting a stream or a decode ends the stream before it.

export class QuilloError extends Error {}

// The words qw_info writes, in order.
const INFO_WORDS = [
  'rateCode', 'rateMode', 'effectId', 'depthByte', 'depth', 'seconds', 'bufferSamples',
  'blocks', 'lastBlockBytes', 'rejected', 'firstRejected', 'mismatched', 'firstMismatched',
  'mismatchedRateMode',
];
const RATE_KBPS = [6.4, 8, 11.8];
const BLOCK_BYTES = 512;

function rateMode(rate) {
  const mode = RATE_KBPS.indexOf(Number(rate));
  if (mode < 0) throw new QuilloError(`unknown rate ${rate}: use 6.4, 8 or 11.8`);
  return mode;
}

// Bytes as base64url text (the alphabet of links, no padding), and back;
// fromBase64Url throws on text that is not base64.
export function toBase64Url(bytes) {
  let s = '';
  for (let i = 0; i < bytes.length; i += 0x8000) s += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
  return btoa(s).replace(/\+/g, '-').replace(/\//g, '_').replace(/=+$/, '');
}
export function fromBase64Url(text) {
  const s = atob(text.trim().replace(/-/g, '+').replace(/_/g, '/'));
  const bytes = new Uint8Array(s.length);
  for (let i = 0; i < s.length; i++) bytes[i] = s.charCodeAt(i);
  return bytes;
}

export async function createQuillo(options = {}) {
  let wasm = options.wasmBytes;
  if (!wasm) {
    const url = options.wasmUrl || new URL('./quillo.wasm', import.meta.url);
    const response = await fetch(url);
    if (!response.ok) throw new QuilloError(`cannot load ${url}: ${response.status}`);
    wasm = await response.arrayBuffer();
  }
  let memory = null;
  const imports = {
    env: { emscripten_notify_memory_growth() {} },
    // The decoder's diagnostic lines go nowhere: the bytes are counted as written.
    wasi_snapshot_preview1: {
      fd_write(fd, iov, count, written) {
        const view = new DataView(memory.buffer);
        let n = 0;
        for (let i = 0; i < count; i++) n += view.getUint32(iov + 8 * i + 4, true);
        view.setUint32(written, n, true);
        return 0;
      },
      // Reached only when the module cannot go on (out of memory).
      proc_exit(code) { throw new QuilloError(`the module stopped (${code}): reload the page`); },
    },
  };
  const { instance } = await WebAssembly.instantiate(wasm, imports);
  const x = instance.exports;
  memory = x.memory;
  x._initialize();
  const payloadOffset = x.qw_payload_offset();

  // Copies `bytes` into the module; the caller frees the pointer.
  function place(bytes) {
    if (!(bytes instanceof Uint8Array)) throw new QuilloError('a message is a Uint8Array');
    const p = x.qw_alloc(bytes.length);
    if (!p) throw new QuilloError('out of memory');
    new Uint8Array(memory.buffer, p, bytes.length).set(bytes);
    return p;
  }

  function checkMessage(bytes) {
    if (!(bytes instanceof Uint8Array)) throw new QuilloError('a message is a Uint8Array');
    if (bytes.length < payloadOffset)
      throw new QuilloError(`not a message: ${bytes.length} bytes, fewer than the player's ${payloadOffset}`);
  }

  function info(bytes) {
    checkMessage(bytes);
    const p = place(bytes);
    const out = x.qw_alloc(4 * INFO_WORDS.length);
    try {
      x.qw_info(p, bytes.length, out);
      const words = new Int32Array(memory.buffer, out, INFO_WORDS.length);
      const r = {};
      INFO_WORDS.forEach((name, i) => { r[name] = words[i]; });
      r.rate = RATE_KBPS[r.rateMode];
      r.mismatchedRate = r.mismatched > 0 ? RATE_KBPS[r.mismatchedRateMode] : null;
      r.shortLastBlock = r.blocks > 0 && r.lastBlockBytes < BLOCK_BYTES;
      r.bytes = bytes.length;
      return r;
    } finally {
      x.qw_free(out);
      x.qw_free(p);
    }
  }

  let current = null;  // the running stream

  function stream(bytes, { dry = false } = {}) {
    const header = info(bytes);
    if (current) current.close();
    const p = place(bytes);
    const bufferSamples = x.qw_stream_start(p, bytes.length, dry ? 1 : 0);
    let open = true;
    const s = {
      info: header,
      bufferSamples,
      nextBlock: 0,  // number of the next block to read
      result: -1,    // layout of the last block (0, 1, 2) or 15 when it was rejected
      next() {
        if (!open) return null;
        if (!x.qw_stream_next()) return null;  // the payload is exhausted; resume() may follow
        s.nextBlock++;
        s.result = x.qw_stream_result();
        return new Int16Array(memory.buffer, x.qw_stream_buffer(), bufferSamples).slice();
      },
      // Starts the refills again as the player's Play after a Stop at block
      // `blockPosition`; returns the block read first (one before it, or 0).
      resume(blockPosition) {
        if (!open) throw new QuilloError('the stream has ended');
        s.nextBlock = x.qw_stream_resume(blockPosition);
        return s.nextBlock;
      },
      close() {
        if (!open) return;
        open = false;
        x.qw_free(p);
        if (current === s) current = null;
      },
    };
    current = s;
    return s;
  }

  function decode(bytes, { dry = false } = {}) {
    const s = stream(bytes, { dry });
    const out = new Int16Array(s.info.blocks * s.bufferSamples);
    for (let b = 0, buffer; (buffer = s.next()); b++) out.set(buffer, b * s.bufferSamples);
    s.close();
    return out;
  }

  function title(header, position) {
    const text = x.qw_alloc(64);
    try {
      x.qw_title(header.rateCode, position, header.seconds, text, 64);
      const raw = new Uint8Array(memory.buffer, text, 64);
      return new TextDecoder().decode(raw.subarray(0, raw.indexOf(0)));
    } finally {
      x.qw_free(text);
    }
  }

  function encode(pcm, { rate = 8 } = {}) {
    const mode = rateMode(rate);
    if (!(pcm instanceof Int16Array)) throw new QuilloError('encode takes an Int16Array of 8 kHz samples');
    const frames = Math.ceil(pcm.length / 80);
    const frameBytes = [8, 10, 18][mode];
    const inP = x.qw_alloc(pcm.length * 2);
    const outP = x.qw_alloc(frames * frameBytes);
    try {
      new Int16Array(memory.buffer, inP, pcm.length).set(pcm);
      const n = Number(x.qw_encode(inP, pcm.length, mode, outP));
      return new Uint8Array(memory.buffer, outP, n).slice();
    } finally {
      x.qw_free(inP);
      x.qw_free(outP);
    }
  }

  // The bytes of a message file, as `quillo make` writes them for these
  // samples, behind `player` (a Uint8Array, or none: zeros).
  function make(pcm, { rate = 8, effectId = 0, depthByte = 0, player = new Uint8Array(0) } = {}) {
    const mode = rateMode(rate);
    if (!(pcm instanceof Int16Array)) throw new QuilloError('make takes an Int16Array of 8 kHz samples');
    if (!(Number.isInteger(effectId) && effectId >= 0 && effectId <= 16))
      throw new QuilloError(`effect ${effectId}: the effect is a number from 0 to 16`);
    if (!(Number.isInteger(depthByte) && depthByte >= 0 && depthByte <= 255))
      throw new QuilloError(`depth byte ${depthByte}: the depth byte is a number from 0 to 255`);
    if (player.length > payloadOffset)
      throw new QuilloError(`player: ${player.length} bytes, more than the ${payloadOffset} bytes a player may have`);
    const inP = x.qw_alloc(pcm.length * 2);
    const playerP = place(player);
    const words = x.qw_alloc(8);
    let outP = 0;
    try {
      new Int16Array(memory.buffer, inP, pcm.length).set(pcm);
      outP = x.qw_make(inP, pcm.length, mode, effectId, depthByte, playerP, player.length, words, words + 4);
      if (!outP) throw new QuilloError('the message cannot be made');
      const [size, unplayable] = new Int32Array(memory.buffer, words, 2);
      const bytes = new Uint8Array(memory.buffer, outP, size).slice();
      return Object.assign(bytes, { unplayableBlocks: unplayable });
    } finally {
      x.qw_free(outP);
      x.qw_free(words);
      x.qw_free(playerP);
      x.qw_free(inP);
    }
  }

  // The voice effects as `quillo effects` lists them: id, name, description.
  const effects = Array.from({ length: 17 }, (_, id) => {
    const text = x.qw_alloc(256);
    try {
      x.qw_effect_text(id, text, 256);
      const raw = new Uint8Array(memory.buffer, text, 256);
      const [name, description] = new TextDecoder().decode(raw.subarray(0, raw.indexOf(0))).split('\t');
      return { id, name, description };
    } finally {
      x.qw_free(text);
    }
  });

  return { info, decode, stream, title, encode, make, effects, payloadOffset, sampleRate: 8000 };
}
