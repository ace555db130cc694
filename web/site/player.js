// The player's dialog in a page: the two silent start buffers, one block
// refilled for every buffer handed back (here: the buffer clock of Web
// Audio), the title at each block read, Stop pauses, Stop again rewinds,
// Play resumes one block back, and the end one buffer after the last block.
//
//   const p = createPlayer({ title, start, next, ui });
//   p.open(info); p.play(); p.stopButton();
//
// title(info, position) gives the title text; start(blockPosition) starts
// the refills and resolves to the block read first; next() resolves to the
// next buffer's Int16Array or null when the payload is exhausted. ui has
// setTitle(text), setPlaying(playing), say(text, error) and focus(which).
export function createPlayer({ title, start, next, ui, sampleRate = 8000 }) {
  const p = {
    info: null, playing: false, reading: false, blockPosition: 0,
    generation: 0,   // advanced by every stop, so late answers are dropped
    t0: 0, done: 0,  // start time of the buffer clock, buffers handed back so far
    period: 0, sources: [], timer: 0, busy: false, openedAt: 0, timing: {},
  };
  let audio = null;

  const showTitle = (position) => ui.setTitle(title(p.info, position));

  function schedule(samples, when) {
    const buffer = audio.createBuffer(1, samples.length, sampleRate);
    const data = buffer.getChannelData(0);
    for (let i = 0; i < samples.length; i++) data[i] = samples[i] / 32768;
    const source = audio.createBufferSource();
    source.buffer = buffer;
    source.connect(audio.destination);
    source.start(Math.max(when, audio.currentTime));
    source.onended = () => { p.sources = p.sources.filter((s) => s !== source); };
    p.sources.push(source);
    if (!p.timing.firstSound) {  // (after the player's two silent buffers)
      p.timing.firstBlockReady = performance.now() - p.openedAt;
      p.timing.firstSound = p.timing.firstBlockReady + 1000 * Math.max(0, when - audio.currentTime);
    }
  }

  // One buffer handed back by the device, as the player's notification.
  async function bufferDone(gen) {
    if (!p.reading) {
      stop();
      ui.say('Played to the end. Play starts again.');
      return;
    }
    const samples = await next();
    if (gen !== p.generation) return;
    if (!samples) {  // the refill from the stale block is never heard
      p.reading = false;
      p.blockPosition = 0;
      return;
    }
    schedule(samples, p.t0 + (p.done + 1) * p.period);
    p.blockPosition++;
    showTitle(p.blockPosition);
  }

  async function tick() {
    if (p.busy) return;
    p.busy = true;
    const gen = p.generation;
    try {
      while (p.playing && gen === p.generation && audio.currentTime >= p.t0 + (p.done + 1) * p.period) {
        p.done++;
        await bufferDone(gen);
      }
    } catch (err) {
      stop();
      ui.say(`Playback stopped: ${err.message}`, true);
    } finally {
      p.busy = false;
    }
  }

  async function play() {
    if (p.playing || !p.info) return;
    if (!audio) audio = new AudioContext();
    if (audio.state === 'suspended') {
      // A context that starts later by itself (Firefox's always does) says so then.
      audio.resume().then(() => p.playing && ui.say('Playing.'));
      ui.say('Click or press a key to hear the message.');
    }
    p.playing = true;
    p.reading = true;
    const gen = ++p.generation;
    ui.setPlaying(true);
    ui.focus('stop');
    const firstBlock = await start(p.blockPosition);
    if (gen !== p.generation) return;
    p.blockPosition = firstBlock;
    p.period = p.info.bufferSamples / sampleRate;
    p.t0 = audio.currentTime + 0.05;  // the two silent buffers start now
    p.done = 0;
    p.timer = setInterval(tick, 20);
    if (audio.state !== 'suspended') ui.say('Playing.');
  }

  function stop() {
    if (!p.playing) return;
    p.generation++;
    clearInterval(p.timer);
    for (const s of p.sources) s.stop();
    p.sources = [];
    p.playing = false;
    p.reading = false;
    ui.setPlaying(false);
  }

  function stopButton() {
    if (p.playing) {
      stop();
      ui.say('Paused. Play resumes, Stop rewinds.');
      ui.focus('play');
    } else {
      p.blockPosition = 0;
      showTitle(0);
      ui.say('Rewound to the start.');
    }
  }

  // A new message: a fresh program run, position 0, the title at 00:00:00.
  function open(info, openedAt = performance.now()) {
    stop();
    Object.assign(p, { info, blockPosition: 0, openedAt, timing: {} });
    showTitle(0);
  }

  // A browser that wants a gesture before sound gets it from the first click or key.
  for (const type of ['pointerdown', 'keydown'])
    addEventListener(type, () => {
      if (audio && audio.state === 'suspended') audio.resume().then(() => p.playing && ui.say('Playing.'));
    });

  return Object.assign(p, { open, play, stop, stopButton });
}
