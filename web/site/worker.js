// The page's decoding thread: one module instance plays the open message
// block by block as the player does (its decoder memories carry over from a
// Stop to the next Play), another makes whole decodes for downloads.
import { createQuillo } from './quillo.js';

const ready = (async () => {
  const wasm = await (await fetch(new URL('./quillo.wasm', import.meta.url))).arrayBuffer();
  return { player: await createQuillo({ wasmBytes: wasm }), whole: await createQuillo({ wasmBytes: wasm }) };
})();

let message = null;  // the open message's bytes
let stream = null;   // its playback

async function handle(op, data) {
  const q = await ready;
  switch (op) {
    case 'open':
      if (stream) stream.close();
      stream = null;
      message = data.bytes;
      return { info: q.player.info(message) };
    case 'start':  // Play: a fresh program run for a new message, else the resume rule
      if (!stream) {
        stream = q.player.stream(message);
        return { firstBlock: 0 };
      }
      return { firstBlock: stream.resume(data.blockPosition) };
    case 'next': {  // a buffer handed back: the next block's PCM, or the end
      const samples = stream.next();
      return samples ? { samples, result: stream.result } : { end: true };
    }
    case 'make': {
      const bytes = q.whole.make(data.pcm, data.options);
      return { bytes, unplayableBlocks: bytes.unplayableBlocks };
    }
    case 'decode': {
      const t = performance.now();
      const samples = q.whole.decode(data.bytes || message, { dry: !!data.dry });
      return { samples, ms: performance.now() - t };
    }
    default:
      throw new Error(`unknown operation ${op}`);
  }
}

self.onmessage = async (e) => {
  const { id, op, ...data } = e.data;
  try {
    const r = await handle(op, data);
    self.postMessage({ id, ...r }, [r.samples, r.bytes].filter(Boolean).map((a) => a.buffer));
  } catch (err) {
    self.postMessage({ id, error: String(err && err.message ? err.message : err) });
  }
};
