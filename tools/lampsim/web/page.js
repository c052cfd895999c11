// The page: draws what the engine (lampsim.wasm, lampsim's own sources) says
// and hands it the user's input. Two instances of the engine run side by side:
// the live lamp, and the runner of scenario files, as two processes would.
'use strict';

(() => {
  const FULL = 18000;
  const $ = (id) => document.getElementById(id);

  // --- the engine ---------------------------------------------------------

  let compiled = null;
  function compileOnce() {
    if (!compiled) {
      compiled = WebAssembly.compileStreaming
        ? WebAssembly.compileStreaming(fetch('lampsim.wasm'))
        : fetch('lampsim.wasm').then((r) => r.arrayBuffer()).then((b) => WebAssembly.compile(b));
    }
    return compiled;
  }

  function startEngine() {
    return createLampsim({
      instantiateWasm(imports, receive) {
        compileOnce()
          .then((module) => WebAssembly.instantiate(module, imports))
          .then((instance) => receive(instance));
        return {};
      },
    });
  }

  class Engine {
    constructor(m) { this.m = m; }
    str(name, types = [], args = []) { return this.m.ccall(name, 'string', types, args); }
    num(name, types = [], args = []) { return this.m.ccall(name, 'number', types, args); }
    json(name, types = [], args = []) { return JSON.parse(this.str(name, types, args)); }
    // A text of any size, through the heap (ccall would put it on the stack).
    withText(text, use) {
      const bytes = this.m.lengthBytesUTF8(text) + 1;
      const at = this.m._malloc(bytes);
      try {
        this.m.stringToUTF8(text, at, bytes);
        return use(at);
      } finally {
        this.m._free(at);
      }
    }
  }

  let live = null;   // the live lamp's engine
  let runner = null; // the scenario runner's engine

  // --- the script interface (docs/web.md) ---------------------------------

  function run(text, name = 'scenario.lamp', options = {}) {
    const bytes = new TextEncoder().encode(text).length;
    const refusal = runner.str('lampsim_refusal', ['number'], [bytes]);
    if (refusal) return { status: 2, stdout: '', stderr: refusal + '\n', csv: '', vcd: '', svg: '' };
    const flags = (options.outputs === false ? 1 : 0) | (options.quiet ? 2 : 0);
    const status = runner.withText(text, (at) =>
      runner.num('lampsim_run', ['number', 'string', 'number'], [at, name, flags]));
    const out = (i) => runner.str('lampsim_run_output', ['number'], [i]);
    return { status, stdout: out(0), stderr: out(1), csv: out(2), vcd: out(3), svg: out(4) };
  }

  const remote = {
    press(name) {
      const r = live.json('live_press', ['string'], [name]);
      showReply(r);
      render();
      return r.text;
    },
    release(name) {
      live.str('live_release', ['string'], [name]);
      render();
    },
  };

  function reply(json) {
    showReply(json);
    render();
    return json.text;
  }

  const api = {
    run,
    reset() {
      live.str('live_reset');
      chartMarks = null;
      $('log').textContent = '';
      render();
    },
    send(line) { return reply(live.json('live_send', ['string'], [line])); },
    advance(ms) {
      live.num('live_advance_us', ['number'], [Math.round(ms * 1000)]);
      render();
    },
    outputs() { return live.json('live_state').out; },
    recording() { return live.str('live_recording'); },
    csv() { return live.str('live_csv'); },
    state() { return live.json('live_state'); },
    press: (name) => remote.press(name),
    release: (name) => remote.release(name),
    supply(on) { return reply(live.json('live_supply', ['number'], [on ? 1 : 0])); },
    configure(settings) { return reply(live.json('live_configure', ['string'], [settings])); },
    setSpeed(s) { setSpeed(s); },
    pause(p) { setPaused(p); },
  };

  // --- virtual time -------------------------------------------------------

  let speed = 1;
  let paused = false;
  let lastFrame = null;
  let carryUs = 0;

  function setSpeed(s) {
    speed = s;
    document.querySelectorAll('.speed').forEach((b) =>
      b.classList.toggle('active', Number(b.dataset.speed) === s));
  }
  function setPaused(p) {
    paused = p;
    $('pause').textContent = p ? 'Resume' : 'Pause';
    $('pause').classList.toggle('active', p);
    $('step').disabled = !p;
  }

  // The board moves by whole microseconds: what a frame's real time is worth
  // at the chosen speed, the fraction carried to the next frame.
  function frame(now) {
    if (lastFrame !== null && !paused) {
      carryUs += Math.min(now - lastFrame, 250) * speed * 1000;
      const whole = Math.floor(carryUs);
      carryUs -= whole;
      if (whole > 0) live.num('live_advance_us', ['number'], [whole]);
    }
    lastFrame = now;
    render();
    requestAnimationFrame(frame);
  }

  // --- drawing ------------------------------------------------------------

  // Colour of black-body light at `kelvin`, as sRGB (after Tanner Helland's fit).
  function kelvinRgb(kelvin) {
    const t = kelvin / 100;
    const r = t <= 66 ? 255 : 329.698727446 * Math.pow(t - 60, -0.1332047592);
    const g = t <= 66 ? 99.4708025861 * Math.log(t) - 161.1195681661
      : 288.1221695283 * Math.pow(t - 60, -0.0755148492);
    const b = t >= 66 ? 255 : t <= 19 ? 0 : 138.5177312231 * Math.log(t - 10) - 305.0447927307;
    const c = (v) => Math.max(0, Math.min(255, Math.round(v)));
    return [c(r), c(g), c(b)];
  }

  // The light the two channels make: its share of full light and its colour
  // between warm (2700 K) and cold (6500 K) white.
  function lightOf(s) {
    const [c0, c1] = s.out;
    let level, cold;
    if (s.mode === 'cw') {
      level = (c0 + c1) / FULL;
      cold = c0 + c1 > 0 ? c0 / (c0 + c1) : 0.5;
    } else {
      level = c0 / FULL;
      cold = c1 / FULL;
    }
    level = Math.max(0, Math.min(1, level));
    return { level, kelvin: 2700 + cold * (6500 - 2700) };
  }

  function drawLamp(s) {
    const { level, kelvin } = lightOf(s);
    const [r, g, b] = kelvinRgb(kelvin);
    const seen = Math.pow(level, 0.45); // as the eye takes PWM light
    const mix = (v) => Math.round(27 + (v - 27) * seen);
    $('bulb').style.background = `rgb(${mix(r)}, ${mix(g)}, ${mix(b)})`;
    $('bulb').style.boxShadow = seen > 0
      ? `0 0 ${20 + 50 * seen}px ${8 + 20 * seen}px rgba(${r}, ${g}, ${b}, ${0.55 * seen})` : 'none';
    $('glow').style.background = seen > 0
      ? `radial-gradient(circle, rgba(${r},${g},${b},${0.5 * seen}) 0, rgba(${r},${g},${b},${0.18 * seen}) 35%, rgba(0,0,0,0) 70%)`
      : 'none';
    for (let ch = 0; ch < 2; ++ch) {
      $('name' + ch).textContent = s.names[ch];
      $('out' + ch).textContent = s.out[ch].toLocaleString('en');
      $('pct' + ch).textContent = (s.out[ch] / 180).toFixed(1) + ' %';
    }
    $('level-mark').style.left = (level * 100).toFixed(1) + '%';
    $('kelvin-mark').style.left = (((kelvin - 2700) / (6500 - 2700)) * 100).toFixed(1) + '%';
    $('kelvin-mark').style.visibility = level > 0 ? 'visible' : 'hidden';
    $('light').textContent = level > 0
      ? `${(level * 100).toFixed(0)} % of full light, about ${Math.round(kelvin / 50) * 50} K`
      : 'dark';
  }

  const ADJUST = ['', 'bright+', 'bright-', 'temper+', 'temper-'];

  function drawFirmware(s) {
    $('f-mode').textContent = s.mode === 'cw' ? 'cold & warm white (cw)' : 'brightness & colour (cct)';
    $('f-switch').textContent = s.supply ? (s.switch ? 'on' : 'off') : 'off (no power)';
    $('f-bright').textContent = s.bright + ' %';
    $('f-temper').textContent = s.temper + ' % cold';
    $('f-countdown').textContent = s.countdown ? s.countdown + ' s left' : 'none';
    const kind = ADJUST[s.adjusted & 0x7f] || String(s.adjusted & 0x7f);
    $('f-adjust').textContent = s.adjusted ? `${kind}, ${s.adjusted & 0x80 ? 'holding' : 'one step'}` : 'none';
    $('f-blink').textContent = s.blink ? s.blink + ' toggles left' : 'none';
    $('f-fade').textContent = s.fading ? `running, a tick every ${s.tick_us} µs` : 'stopped';
    $('f-saved').textContent = s.saved.valid
      ? `power ${s.saved.power}, bright ${s.saved.bright} %, temper ${s.saved.temper} %`
      : 'none (defaults at power-on)';
    drawFlash(s.store);
  }

  function drawFlash(store) {
    const box = $('flash');
    if (!box.children.length) {
      for (let i = 0; i < 6; ++i) box.appendChild(document.createElement('div')).className = 'sector';
    }
    const ring = [1, 4, 0];
    const role = { 2: 'scene', 3: 'scene', 5: 'scratch' };
    const newestSector = store.newest >= 0 ? Math.floor(store.newest / 1024) : -1;
    const newestSlot = store.newest >= 0 ? ((store.newest % 1024) - 16) / 36 : -1;
    // Shown in ring order first, then the others.
    [1, 4, 0, 2, 3, 5].forEach((sector, i) => {
      const el = box.children[i];
      const erases = store.erases[sector];
      const head = `<div class="head"><b>sector ${sector}</b><span>${erases} erase${erases === 1 ? '' : 's'}</span></div>`;
      if (ring.includes(sector)) {
        let cells = '';
        for (let k = 0; k < 28; ++k) {
          const used = store.slots[sector][k] === 'x';
          const newest = sector === newestSector && k === newestSlot;
          cells += `<div class="slot${used ? ' used' : ''}${newest ? ' newest' : ''}"${newest ? ' title="newest light record"' : ''}></div>`;
        }
        el.innerHTML = head + `<div class="slots">${cells}</div>`;
      } else {
        const used = store.slots[sector].split('').filter((c) => c === 'x').length;
        el.innerHTML = head + `<div class="plain">${role[sector]}${used ? ' · in use' : ''}</div>`;
      }
    });
  }

  let chartMarks = null;
  let chartMarksVersion = -1;

  function niceStep(span) {
    for (const step of [0.1, 0.2, 0.5, 1, 2, 5, 10, 20, 30, 60]) if (span / step <= 10) return step;
    return 120;
  }

  function drawChart(s) {
    const canvas = $('chart');
    const dpr = window.devicePixelRatio || 1;
    const W = canvas.clientWidth;
    const H = 300;
    if (canvas.width !== Math.round(W * dpr)) {
      canvas.width = Math.round(W * dpr);
      canvas.height = Math.round(H * dpr);
    }
    const g = canvas.getContext('2d');
    g.setTransform(dpr, 0, 0, dpr, 0, 0);
    g.clearRect(0, 0, W, H);
    const left = 48, right = W - 14, top = 26, bottom = H - 66;
    const laneSwitch = bottom + 26, lanePower = bottom + 42, laneH = 11;
    const win = Number($('window').value);
    const now = s.t_us / 1e6;
    const t1 = Math.max(now, win), t0 = t1 - win;
    const x = (t) => left + ((t - t0) / win) * (right - left);
    const y = (v) => bottom - (v / FULL) * (bottom - top);

    g.font = '11px system-ui, sans-serif';
    g.fillStyle = '#667085';
    g.strokeStyle = '#e6e8ec';
    g.lineWidth = 1;
    g.textAlign = 'right';
    for (let p = 0; p <= 100; p += 25) {
      const gy = Math.round(y((p / 100) * FULL)) + 0.5;
      g.beginPath(); g.moveTo(left, gy); g.lineTo(right, gy); g.stroke();
      g.fillText(p + ' %', left - 6, gy + 4);
    }
    g.textAlign = 'center';
    const step = niceStep(win);
    for (let t = Math.ceil(t0 / step) * step; t <= t1 + 1e-9; t += step) {
      const gx = Math.round(x(t)) + 0.5;
      g.beginPath(); g.moveTo(gx, top); g.lineTo(gx, bottom); g.stroke();
      g.fillText((step < 1 ? t.toFixed(1) : t.toFixed(0)) + ' s', gx, bottom + 14);
    }

    if (live.num('live_marks_version') !== chartMarksVersion || !chartMarks) {
      chartMarksVersion = live.num('live_marks_version');
      chartMarks = live.json('live_marks');
    }
    // Supply and switch lanes.
    const lanes = [['switch', laneSwitch, 2, '#4caf50'], ['power', lanePower, 1, '#8a94a6']];
    g.textAlign = 'right';
    for (const [name, ly, field, colour] of lanes) {
      g.fillStyle = '#667085';
      g.fillText(name, left - 6, ly + 9);
      g.strokeStyle = '#d0d5dd';
      g.strokeRect(left + 0.5, ly + 0.5, right - left, laneH);
      g.fillStyle = colour;
      const lv = chartMarks.levels;
      for (let i = 0; i < lv.length; ++i) {
        if (!lv[i][field]) continue;
        const from = Math.max(lv[i][0], t0);
        const until = Math.min(i + 1 < lv.length ? lv[i + 1][0] : now, t1);
        if (until > from) g.fillRect(x(from), ly + 1, Math.max(x(until) - x(from), 1), laneH - 1);
      }
    }

    // Marks: a line each; labels where there is room, what the module and the
    // supply did before the commands.
    const markColour = { command: '#98a2b3', event: '#2e7d32', power: '#c62828', mode: '#8e24aa' };
    const shown = chartMarks.marks.filter(([t]) => t >= t0 && t <= t1);
    for (const [t, kind] of shown) {
      const mx = Math.round(x(t)) + 0.5;
      g.strokeStyle = markColour[kind];
      g.setLineDash(kind === 'command' ? [2, 3] : [4, 2]);
      g.beginPath(); g.moveTo(mx, top); g.lineTo(mx, bottom); g.stroke();
    }
    g.setLineDash([]);
    const taken = [];
    g.font = '10px system-ui, sans-serif';
    g.textAlign = 'left';
    for (const pass of [false, true]) {
      for (const [t, kind, text] of shown) {
        if ((kind === 'command') !== pass) continue;
        const mx = Math.round(x(t)) + 0.5;
        if (taken.some((tx) => Math.abs(tx - mx) < 12)) continue;
        taken.push(mx);
        g.save();
        g.translate(mx + 3, top + 2);
        g.rotate(Math.PI / 2);
        g.fillStyle = kind === 'command' ? '#475467' : markColour[kind];
        g.fillText(text.length > 28 ? text.slice(0, 27) + '…' : text, 0, 0);
        g.restore();
      }
    }

    // The two channels, as steps: each column its range, then its last value.
    const cols = live.num('live_columns');
    const count = live.num('live_column_count');
    const data = new Float64Array(live.m.HEAPF64.buffer, cols, count * 7);
    const colours = ['#1f77b4', '#e6862a'];
    g.lineWidth = 1.6;
    for (let ch = 0; ch < 2; ++ch) {
      g.strokeStyle = colours[ch];
      g.beginPath();
      let held = 0;
      let i = 0;
      for (; i < count && data[i * 7] < t0; ++i) held = data[i * 7 + 3 + ch * 3];
      g.moveTo(left, y(held));
      for (; i < count; ++i) {
        const c = i * 7;
        const cx = x(data[c]);
        g.lineTo(cx, y(held));
        const low = data[c + 1 + ch * 3], high = data[c + 2 + ch * 3], last = data[c + 3 + ch * 3];
        if (low !== high) { g.lineTo(cx, y(high)); g.lineTo(cx, y(low)); }
        g.lineTo(cx, y(last));
        held = last;
      }
      g.lineTo(x(Math.min(now, t1)), y(held));
      g.stroke();
    }
    g.strokeStyle = '#475467';
    g.lineWidth = 1;
    g.strokeRect(left + 0.5, top + 0.5, right - left, bottom - top);

    const legend = $('legend');
    const want = `channel 0: ${s.names[0]}|channel 1: ${s.names[1]}`;
    if (legend.dataset.shown !== want) {
      legend.dataset.shown = want;
      legend.innerHTML = `<span class="ch0">channel 0: ${s.names[0]}</span>` +
        `<span class="ch1">channel 1: ${s.names[1]}</span>`;
    }
  }

  function drawControls(s) {
    $('clock').textContent = (s.t_us / 1e6).toFixed(3) + ' s';
    const pill = $('supply-state');
    pill.textContent = s.supply ? 'powered' : 'no power';
    pill.className = 'pill ' + (s.supply ? 'on' : 'off');
    $('supply-on').disabled = s.supply;
    $('supply-cut').disabled = !s.supply;
    document.querySelectorAll('.remote button, #save-now').forEach((b) => { b.disabled = !s.supply; });
    document.querySelectorAll('[data-button]').forEach((b) =>
      b.classList.toggle('pressed', b.dataset.button === s.held));
    $('btn-power').textContent = s.switch ? 'Switch off' : 'Switch on';
    $('cfg-state').textContent = s.config ? `set: config ${s.config}` : 'set: the firmware\u2019s defaults';
  }

  function drawLog() {
    const text = live.str('live_log');
    if (!text) return;
    const log = $('log');
    const lines = (log.textContent + text).split('\n');
    log.textContent = lines.slice(-400).join('\n');
    log.scrollTop = log.scrollHeight;
  }

  let firstFrame = null;
  function render() {
    if (!live) return;
    const s = live.json('live_state');
    drawControls(s);
    drawLamp(s);
    drawFirmware(s);
    drawChart(s);
    drawLog();
    if (firstFrame === null) {
      firstFrame = performance.now();
      api.firstFrameMs = firstFrame;
    }
  }

  function showReply(r) {
    const el = $('reply');
    const line = r.text.split('\n').find((l) => l.includes('> ')) || '';
    el.textContent = r.ok ? line.replace(/^.*?> /, '') : r.text;
    el.classList.toggle('bad', !r.ok);
  }

  function download(name, text, type = 'text/plain') {
    const a = document.createElement('a');
    a.href = URL.createObjectURL(new Blob([text], { type }));
    a.download = name;
    document.body.appendChild(a);
    a.click();
    setTimeout(() => { URL.revokeObjectURL(a.href); a.remove(); }, 2000);
  }

  // --- input --------------------------------------------------------------

  function bindLive() {
    document.querySelectorAll('[data-button]').forEach((b) => {
      const name = b.dataset.button;
      const hold = b.classList.contains('hold');
      b.addEventListener('pointerdown', (e) => {
        if (b.disabled || e.button !== 0) return;
        if (hold) b.setPointerCapture(e.pointerId);
        remote.press(name);
      });
      const up = () => remote.release(name);
      b.addEventListener('pointerup', up);
      b.addEventListener('pointercancel', up);
      b.addEventListener('lostpointercapture', up);
      b.addEventListener('keydown', (e) => {
        if ((e.key === ' ' || e.key === 'Enter') && !e.repeat) { e.preventDefault(); remote.press(name); }
      });
      b.addEventListener('keyup', (e) => { if (e.key === ' ' || e.key === 'Enter') up(); });
    });
    $('repeat').addEventListener('change', () =>
      live.num('live_set_repeat_ms', ['number'], [Number($('repeat').value) || 200]));
    $('cd-start').addEventListener('click', () => api.send(`countdown ${Number($('cd-seconds').value)}`));
    $('bl-start').addEventListener('click', () =>
      api.send(`blink ${$('bl-end').value} ${Number($('bl-count').value)} ${Number($('bl-period').value)}`));
    $('save-now').addEventListener('click', () => api.send('save'));
    $('supply-on').addEventListener('click', () => api.supply(true));
    $('supply-cut').addEventListener('click', () => api.supply(false));
    $('cfg-apply').addEventListener('click', () => api.configure(
      `mode=${$('cfg-mode').value} way=${$('cfg-way').value} gradual=${Number($('cfg-gradual').value)}`));
    $('pause').addEventListener('click', () => setPaused(!paused));
    document.querySelectorAll('.speed').forEach((b) =>
      b.addEventListener('click', () => setSpeed(Number(b.dataset.speed))));
    $('step').addEventListener('click', () => api.advance(1));
    $('reset').addEventListener('click', () => api.reset());
    $('save-lamp').addEventListener('click', () => download('live.lamp', api.recording()));
    $('save-csv').addEventListener('click', () => download('live.csv', api.csv(), 'text/csv'));
    $('window').addEventListener('change', render);
    window.addEventListener('resize', render);
  }

  let lastRun = null;
  function bindRun() {
    $('sc-text').value = runner.str('lampsim_demo');
    $('sc-name').value = 'demo.lamp';
    $('sc-file').addEventListener('change', () => {
      const file = $('sc-file').files[0];
      if (!file) return;
      $('sc-name').value = file.name;
      file.text().then((t) => { $('sc-text').value = t; });
    });
    $('sc-run').addEventListener('click', () => {
      const name = $('sc-name').value.trim() || 'scenario.lamp';
      const r = run($('sc-text').value, name);
      lastRun = { name: name.replace(/^.*\//, '').replace(/\.lamp$/, ''), ...r };
      const status = $('sc-status');
      status.textContent = ['passed', 'an expectation failed', 'not run'][r.status] || 'status ' + r.status;
      status.className = 'pill ' + (r.status === 0 ? 'on' : 'off');
      const err = $('sc-err');
      err.textContent = r.stderr || 'exit status 0: the run ended and every expectation held';
      err.classList.toggle('ok', !r.stderr);
      $('sc-out').textContent = r.stdout;
      const img = $('sc-chart');
      if (img.src) URL.revokeObjectURL(img.src);
      if (r.svg) img.src = URL.createObjectURL(new Blob([r.svg], { type: 'image/svg+xml' }));
      else img.removeAttribute('src');
      document.querySelectorAll('[data-get]').forEach((b) => {
        b.disabled = r.status === 2;
      });
    });
    document.querySelectorAll('[data-get]').forEach((b) => b.addEventListener('click', () => {
      const kind = b.dataset.get;
      const text = kind === 'timeline' ? lastRun.stdout : lastRun[kind];
      const ext = { csv: 'csv', vcd: 'vcd', svg: 'svg', timeline: 'txt' }[kind];
      download(`${lastRun.name}.${ext}`, text, kind === 'svg' ? 'image/svg+xml' : 'text/plain');
    }));
  }

  function bindTabs() {
    const show = (which) => {
      $('live').hidden = which !== 'live';
      $('run').hidden = which !== 'run';
      $('tab-live').classList.toggle('active', which === 'live');
      $('tab-run').classList.toggle('active', which === 'run');
      $('tab-live').setAttribute('aria-selected', String(which === 'live'));
      $('tab-run').setAttribute('aria-selected', String(which === 'run'));
      if (which === 'live') render();
    };
    $('tab-live').addEventListener('click', () => show('live'));
    $('tab-run').addEventListener('click', () => show('run'));
  }

  Promise.all([startEngine(), startEngine()]).then(([a, b]) => {
    live = new Engine(a);
    runner = new Engine(b);
    setSpeed(1);
    setPaused(false);
    bindLive();
    bindRun();
    bindTabs();
    render();
    window.lampsim = api;
    requestAnimationFrame(frame);
  });
})();
