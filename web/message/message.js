// The self-playing page: the module (its WebAssembly inlined as QUILLO_WASM),
// the player's dialog and the message (header and blocks, base64url, in the
// element #quillo-message), in one file that plays from a disk without a
// server, decoding on the page's own thread (one block at a time).
const $ = (id) => document.getElementById(id);
const say = (text, error = false) => {
  $('status').textContent = text;
  $('status').classList.toggle('error', error);
};

try {
  const q = await createQuillo({ wasmBytes: fromBase64Url(QUILLO_WASM) });
  const payload = fromBase64Url($('quillo-message').textContent);
  const bytes = new Uint8Array(q.payloadOffset + payload.length);
  bytes.set(payload, q.payloadOffset);
  let stream = null;
  const player = createPlayer({
    title: q.title,
    start: async (blockPosition) => {
      if (stream) return stream.resume(blockPosition);
      stream = q.stream(bytes);
      return 0;
    },
    next: async () => stream.next(),
    ui: {
      setTitle(text) { $('title').textContent = document.title = text; },
      setPlaying(playing) { $('play').disabled = playing; $('stop').disabled = false; },
      say,
      focus(which) { $(which).focus(); },
    },
    sampleRate: q.sampleRate,
  });
  $('play').onclick = () => player.play();
  $('stop').onclick = () => player.stopButton();
  player.open(q.info(bytes));
  window.quilloMessage = { q, bytes, player };
  await player.play();
} catch (err) {
  say(`This message cannot be played: ${err.message}`, true);
}
