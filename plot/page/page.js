// telegram-plot's page: the newest block of a report drawn large and kept
// up to date as blocks arrive, every block to go back to, and a chart to
// explore (zoom, move along, read each value). Blocks taken from the
// telegrams themselves carry their sender: the page then shows one sender,
// or every one, and each sender's block side by side. The same page works served
// by telegram-plot --serve (the blocks and their values over HTTP, the news
// pushed as Server-Sent Events) and from a folder made by telegram-plot -o,
// opened from the disk with no server (the blocks and their values in
// scripts beside it).
(function () {
  'use strict';

  const MAX_VALUE = 65535;
  const LIST_BLOCKS = 5000;  // blocks listed at most; older ones are reached by number or the arrows

  const $ = (id) => document.getElementById(id);

  // --- Where the blocks come from ------------------------------------------

  // A block's values from their text as the report prints them: each
  // value's digits, then a tab. Anything else is damage, never a value.
  function valuesOf(text, name) {
    let count = 0;
    for (let i = 0; i < text.length; ++i) if (text.charCodeAt(i) === 9) count++;
    const values = new Uint16Array(count);
    let value = 0;
    let digits = 0;
    let at = 0;
    for (let i = 0; i < text.length; ++i) {
      const c = text.charCodeAt(i);
      if (c === 9 && digits > 0 && value <= MAX_VALUE) {
        values[at++] = value;
        value = 0;
        digits = 0;
      } else if (c >= 48 && c <= 57 && digits < 5) {
        value = value * 10 + (c - 48);
        digits++;
      } else {
        throw new Error('the values of ' + name + ' are damaged at character ' + i);
      }
    }
    if (digits > 0) throw new Error('the values of ' + name + ' end without their tab');
    return values;
  }

  // The smallest and largest of `values`.
  function rangeOf(values) {
    let low = MAX_VALUE;
    let high = 0;
    for (let i = 0; i < values.length; ++i) {
      const v = values[i];
      if (v < low) low = v;
      if (v > high) high = v;
    }
    return [low, high];
  }

  // A block's values as CSV, the bytes a CSV file of the plot holds.
  function csvOf(values) {
    const lines = ['index,value\n'];
    for (let i = 0; i < values.length; ++i) lines.push(i + ',' + values[i] + '\n');
    return lines.join('');
  }

  // Served by telegram-plot --serve.
  function ServerSource(page) {
    let known = 0;  // the newest id known
    let catching = null;
    let again = false;  // news came while catching up: catch up once more
    function catchUp() {
      if (catching) {
        again = true;
        return catching;
      }
      again = false;
      catching = fetch('blocks?after=' + known, {cache: 'no-store'})
        .then((response) => response.json())
        .then((answer) => {
          page.state(answer.state);
          for (const block of answer.blocks) {
            page.block(block);
            known = Math.max(known, block.id);
          }
          // The blocks come a bounded number at a time: ask on for the rest.
          if (answer.more) again = true;
        })
        .finally(() => {
          catching = null;
          // The answer may be older than news that came meanwhile, and the
          // last news may be the last for a while: ask again.
          if (again) catchUp();
        });
      return catching;
    }
    // The news, pushed as it comes. A page turned away (the server sends
    // news to a few pages at most) or cut off says so, and tries again.
    function listen() {
      const events = new EventSource('events');
      events.addEventListener('open', () => page.link(''));
      events.addEventListener('error', () => {
        if (state && !state.reading) {
          events.close();
          page.link('');
          return;
        }
        if (events.readyState === EventSource.CLOSED) {
          page.link('Not live: telegram-plot turned this page\'s news away. It sends them to 8 pages at most: ' +
            'close another of its pages; this one tries again every 5 seconds.');
          setTimeout(() => { catchUp(); listen(); }, 5000);
        } else {
          page.link('Not live: the connection to telegram-plot is lost; trying again.');
        }
      });
      events.addEventListener('news', (event) => {
        const news = JSON.parse(event.data);
        page.state(news.state);
        if (catching) {
          again = true;
          return;
        }
        if (!news.newest || news.newest.id <= known) return;
        if (news.newest.id === known + 1) {
          known = news.newest.id;
          page.block(news.newest);
        } else {
          catchUp();  // some news was missed: the list is filled in
        }
      });
    }
    this.start = function () {
      catchUp().then(listen);
    };
    this.values = function (block) {
      return fetch('values/' + block.id, {cache: 'no-store'}).then((response) => {
        if (!response.ok) throw new Error('block ' + block.name + ' is no longer kept');
        return response.text();
      }).then((text) => valuesOf(text, block.name));
    };
    // The range of the blocks kept: the server finds it a few blocks at a
    // time, the newest first, and says how many it has; the rest are asked
    // for at once, news later.
    let ranging = false;
    this.range = function () {
      if (ranging) return;
      ranging = true;
      fetch('range', {cache: 'no-store'}).then((response) => response.json()).then((range) => {
        page.range(range.min, range.max, range.ranged, range.kept);
        ranging = false;
        if (range.ranged < range.kept) this.range();
      }).catch(() => { ranging = false; });
    };
  }

  // Beside the page, in a folder made by telegram-plot -o: scripts, which a
  // page opened from the disk may load, where it may not fetch. The values
  // of a few blocks in a row share a file (values/FILE.js, FILE the first
  // one's name), loaded one at a time; the last few are kept.
  function FolderSource(page) {
    const KEPT_FILES = 4;
    function load(src, then) {
      const script = document.createElement('script');
      script.src = src + (src.indexOf('?') < 0 ? '?' : '&') + 'at=' + Date.now();
      script.onload = () => { script.remove(); if (then) then(); };
      script.onerror = () => { script.remove(); if (then) then(); };
      document.body.appendChild(script);
    }
    let reading = true;
    let arriving = null;        // the values of the file being loaded: name -> text
    const files = new Map();    // the files loaded last: file -> (name -> text)
    let loading = Promise.resolve();
    window.telegramPlot = {
      block: (block) => page.block(block),
      state: (state) => { reading = state.reading; page.state(state); },
      values: (name, text) => { if (arriving) arriving.set(name, text); },
    };
    // The values in `file`, once loaded; one file at a time.
    function loadFile(file, keep) {
      if (files.has(file)) return Promise.resolve(files.get(file));
      loading = loading.then(() => new Promise((resolve) => {
        if (files.has(file)) return resolve(files.get(file));
        arriving = new Map();
        load('values/' + file + '.js', () => {
          const got = arriving;
          arriving = null;
          if (keep) {
            files.set(file, got);
            while (files.size > KEPT_FILES) files.delete(files.keys().next().value);
          }
          resolve(got);
        });
      }));
      return loading;
    }
    // While the report is still being written, the list grows: it is read
    // again every second (blocks known already are passed over).
    function poll() {
      load('blocks.js', () => load('state.js', () => { if (reading) setTimeout(poll, 1000); }));
    }
    this.start = poll;
    this.values = function (block) {
      return loadFile(block.file || block.name, true).then((got) => {
        const text = got.get(block.name);
        if (text === undefined) throw new Error('no values for ' + block.name + ' in the folder');
        return valuesOf(text, block.name);
      });
    };
    // The range of every block: each file read in turn, as the page's
    // blocks say; the page hears of each step.
    let ranging = false;
    const ranged = new Map();  // id -> [min, max]
    let low = MAX_VALUE;
    let high = 0;
    this.range = function () {
      if (ranging) return;
      ranging = true;
      const next = () => {
        const block = page.blocks().find((b) => !ranged.has(b.id));
        const count = page.blocks().length;
        if (!block) {
          ranging = false;
          page.range(ranged.size ? low : null, ranged.size ? high : null, ranged.size, count);
          return;
        }
        loadFile(block.file || block.name, false).then((got) => {
          for (const b of page.blocks()) {
            if (ranged.has(b.id) || (b.file || b.name) !== (block.file || block.name)) continue;
            const text = got.get(b.name);
            const [l, h] = text === undefined ? [MAX_VALUE, 0] : rangeOf(valuesOf(text, b.name));
            ranged.set(b.id, [l, h]);
            if (l <= h) {
              low = Math.min(low, l);
              high = Math.max(high, h);
            }
          }
          if (!ranged.has(block.id)) ranged.set(block.id, [MAX_VALUE, 0]);
          page.range(ranged.size ? low : null, ranged.size ? high : null, ranged.size, page.blocks().length);
          setTimeout(next, 0);
        }).catch(() => { ranging = false; });
      };
      next();
    };
  }

  // --- What the page knows ---------------------------------------------------

  const blocks = new Map();  // id -> summary
  let ids = [];              // the ids known, in order
  const idsOf = new Map();   // each sender's ids, in order: source -> ids (blocks of a report have none)
  let chosen = '';           // the sender shown, or '' for every one
  let state = null;
  let runMin = MAX_VALUE;    // the run's range, as far as it is known
  let runMax = 0;
  let runRanged = 0;         // of how many blocks
  let runRangeAsked = 0;     // when it was last asked for (ms)
  let linked = true;         // news reaches the page
  let live = true;           // the newest block is drawn as it comes
  let shownId = 0;           // the block drawn
  let arrivedWhilePaused = 0;
  let liveDrawn = 0;         // the newest block drawn while live
  let skipped = 0;           // blocks that came between two drawn while live
  let busy = false;          // values on their way
  let shownValues = null;
  let shownRange = [0, MAX_VALUE];
  const stats = {draws: 0, lastDrawMs: 0, longestDrawMs: 0, skipped: 0};

  const page = {
    block(block) {
      if (blocks.has(block.id)) return;
      blocks.set(block.id, block);
      addInOrder(ids, block.id);
      if (block.source) {
        if (!idsOf.has(block.source)) {
          idsOf.set(block.source, []);
          senders.add(block.source);
        }
        addInOrder(idsOf.get(block.source), block.id);
      }
      if (!live) arrivedWhilePaused++;
      if (scaleMode() === 'run') askRange();
      list.add(block);
      forget();
      requestAnimationFrame(frame);
    },
    state(next) {
      state = next;
      showState();
      forget();
    },
    // Whether the news reaches the page: empty words while it does.
    link(words) {
      $('link').textContent = words;
      linked = words === '';
      showLiveControls();
    },
    // The run's range, from `ranged` of the `kept` blocks (null: none yet).
    range(low, high, ranged, kept) {
      runRanged = ranged;
      if (low !== null && high !== null) {
        runMin = low;
        runMax = high;
      }
      $('runnote').textContent = ranged < kept ? ' (from ' + ranged + ' of ' + kept + ' blocks so far)' : '';
      if (chart && scaleMode() === 'run') chart.setScale('y', {min: valueRange()[0], max: valueRange()[1]});
    },
    blocks: () => ids.map((id) => blocks.get(id)),
  };

  function addInOrder(list, id) {
    list.push(id);
    if (list.length > 1 && id < list[list.length - 2]) list.sort((a, b) => a - b);
  }

  // The ids the view goes through: every block, or the chosen sender's.
  function view() { return chosen ? (idsOf.get(chosen) || []) : ids; }

  // Where `id` is in `list` (in order), or -1.
  function indexIn(list, id) {
    let low = 0;
    let high = list.length - 1;
    while (low <= high) {
      const middle = (low + high) >> 1;
      if (list[middle] === id) return middle;
      if (list[middle] < id) low = middle + 1; else high = middle - 1;
    }
    return -1;
  }

  // The run's range, asked for while the scale shows it: at once, then
  // again as blocks come, at most twice a second.
  let rangeTimer = 0;
  function askRange() {
    if (rangeTimer) return;
    const wait = Math.max(0, runRangeAsked + 500 - Date.now());
    rangeTimer = setTimeout(() => {
      rangeTimer = 0;
      runRangeAsked = Date.now();
      source.range();
    }, wait);
  }

  // Blocks no longer kept by the server, forgotten by the page too. (A
  // folder keeps them all.)
  function forget() {
    if (!state || state.kept >= state.blocks || ids.length <= state.kept) return;
    const gone = ids.splice(0, ids.length - state.kept);
    for (const id of gone) {
      const block = blocks.get(id);
      if (block && block.source) {
        // The oldest block overall is its sender's oldest.
        const own = idsOf.get(block.source);
        if (own && own[0] === id) own.shift();
      }
      blocks.delete(id);
      list.remove(id);
    }
  }

  const source = location.protocol === 'file:' ? new FolderSource(page) : new ServerSource(page);

  function showState() {
    if (!state) return;
    $('source').textContent = state.source;
    document.title = 'telegram-plot: ' + state.source;
    let words = state.telegrams + (state.telegrams === 1 ? ' telegram' : ' telegrams') +
      (state.input === 'udp' ? ' received, ' : ' read, ') +
      state.blocks + (state.blocks === 1 ? ' block' : ' blocks') + ' with values. ';
    const text = $('state');
    text.className = 'quiet';
    $('reportnote').hidden = Boolean(state.input);
    if (state.input === 'udp') {
      words += state.damage ? 'Receiving failed: ' + state.damage + '.'
        : state.reading ? 'The telegrams are shown as they are received.' : 'Receiving has ended.';
      if (state.damage) text.className = 'note';
    } else if (state.input === 'capture') {
      if (state.damage) {
        words += 'The capture is damaged: ' + state.damage + '. Every telegram before is here.';
        text.className = 'note';
      } else {
        words += state.reading ? 'The capture is still being read.'
          : state.whole ? 'The capture is read to its end.' : 'The reading was stopped before the capture\'s end.';
      }
    } else if (state.damage) {
      words += 'The report is damaged: ' + state.damage + '.';
      text.className = 'note';
    } else if (state.reading) {
      words += 'The report is still being read.';
    } else if (state.whole) {
      words += 'The report is whole.';
    } else if (ids.length > 0 && blocks.get(ids[ids.length - 1]).cut) {
      words += 'The report is cut short: it ends inside the values of its last block.';
      text.className = 'note';
    } else {
      // A receiver stopped (Ctrl-C, or the demo's end) writes no closing
      // lines; every telegram before is whole.
      words += 'The run ended before the receiver\'s closing lines: it was stopped, and every telegram ' +
        'it reported is here.';
    }
    text.textContent = words;
    showLiveControls();
    let kept = state.kept < state.blocks
      ? 'Only the newest ' + state.kept + ' blocks are kept; the ' + (state.blocks - state.kept) +
        ' before them are gone.'
      : '';
    if (state.passedOver > 0) {
      kept += (kept ? ' ' : '') + 'The disk could not keep up with the report: ' + state.passedOver +
        (state.passedOver === 1 ? ' block was' : ' blocks were') + ' passed over and ' +
        (state.passedOver === 1 ? 'is' : 'are') + ' not in this folder.';
    }
    $('kept').textContent = kept;
  }

  // --- The chart -------------------------------------------------------------

  let chart = null;
  let xs = new Float64Array(0);
  let drawStart = 0;

  function scaleMode() { return document.querySelector('input[name=scale]:checked').value; }

  // The value axis: the block's own range (`own`, that of the block drawn
  // large if none is given), the run's, or the whole 16-bit range; never
  // above 65535 nor below 0.
  function valueRange(own) {
    let low = 0;
    let high = MAX_VALUE;
    if (scaleMode() === 'own' && (own || shownValues)) {
      [low, high] = own || shownRange;
    } else if (scaleMode() === 'run' && runRanged > 0 && runMin <= runMax) {
      low = runMin;
      high = runMax;
    }
    const pad = Math.max(1, Math.round((high - low) * 0.04));
    return [Math.max(0, low - pad), Math.min(MAX_VALUE, high + pad)];
  }

  function indexRange() { return [0, Math.max(1, xs.length - 1)]; }

  // The index axis: what a zoom asks for, within the block, in whole
  // indexes.
  function indexScale(u, min, max) {
    const [first, last] = indexRange();
    if (min == null || max == null || !(max > min)) return [first, last];
    let from = Math.max(first, Math.floor(min));
    let to = Math.min(last, Math.ceil(max));
    if (to <= from) {
      to = Math.min(last, from + 1);
      from = Math.max(first, to - 1);
    }
    return [from, to];
  }

  // Whether the user has zoomed in: a new block, live or by the arrows,
  // keeps the zoom then.
  function zoomedIn() {
    if (!chart || chart.scales.x.min == null) return false;
    const [first, last] = indexRange();
    return chart.scales.x.min > first || chart.scales.x.max < last;
  }

  // Where the cursor is: the value under it, or the range of those under
  // its pixel.
  function readOut(u) {
    const out = $('readout');
    const left = u.cursor.left;
    if (!shownValues || left == null || left < 0) {
      out.textContent = '';
      return;
    }
    const last = shownValues.length - 1;
    const from = Math.max(0, Math.ceil(u.posToVal(left - 0.5, 'x')));
    const to = Math.min(last, Math.floor(u.posToVal(left + 0.5, 'x')));
    if (to <= from) {
      const i = Math.min(last, Math.max(0, Math.round(u.posToVal(left, 'x'))));
      out.textContent = 'value ' + i + ': ' + shownValues[i];
      return;
    }
    let low = MAX_VALUE;
    let high = 0;
    for (let i = from; i <= to; ++i) {
      if (shownValues[i] < low) low = shownValues[i];
      if (shownValues[i] > high) high = shownValues[i];
    }
    out.textContent = 'values ' + from + ' to ' + to + ' (under this pixel): from ' + low + ' to ' + high;
  }

  // The wheel zooms around the cursor; with shift it moves along.
  function wheelPlugin() {
    return {
      hooks: {
        ready(u) {
          u.over.addEventListener('wheel', (event) => {
            event.preventDefault();
            const [first, last] = indexRange();
            const min = u.scales.x.min;
            const max = u.scales.x.max;
            const width = max - min;
            let from;
            let to;
            if (event.shiftKey || Math.abs(event.deltaX) > Math.abs(event.deltaY)) {
              const step = width * 0.15 * Math.sign(event.deltaY || event.deltaX);
              from = min + step;
              to = max + step;
            } else {
              const at = u.posToVal(event.offsetX, 'x');
              const factor = event.deltaY < 0 ? 0.75 : 1 / 0.75;
              from = at - (at - min) * factor;
              to = at + (max - at) * factor;
            }
            zoomTo(from, to, first, last);
          }, {passive: false});
        },
      },
    };
  }

  function zoomTo(from, to, first, last) {
    let width = Math.max(4, Math.round(to - from));
    from = Math.round(from);
    width = Math.min(width, last - first);
    from = Math.max(first, Math.min(from, last - width));
    chart.setScale('x', {min: from, max: from + width});
  }

  function makeChart() {
    const element = $('chart');
    chart = new uPlot({
      width: Math.max(400, element.clientWidth || 900),
      height: 400,
      scales: {x: {time: false, auto: false, range: indexScale}, y: {auto: false, range: () => valueRange()}},
      // Whole indexes on the index axis, however far it is zoomed in.
      axes: [{label: 'value index', incrs: [1, 2, 5, 10, 20, 50, 100, 200, 500, 1000, 2000, 5000, 10000, 20000]},
        {label: 'value', size: 60}],
      series: [{label: 'index'}, {label: 'value', stroke: '#1f5fa8', width: 1, points: {show: false}}],
      cursor: {drag: {x: true, y: false, setScale: true}},
      legend: {show: false},
      plugins: [wheelPlugin()],
      hooks: {
        setCursor: [readOut],
        drawClear: [() => { drawStart = performance.now(); }],
        draw: [() => {
          const ms = performance.now() - drawStart;
          stats.draws++;
          stats.lastDrawMs = ms;
          stats.longestDrawMs = Math.max(stats.longestDrawMs, ms);
        }],
      },
    }, [[], []], element);
    window.addEventListener('resize', () => chart.setSize({width: Math.max(400, element.clientWidth), height: 400}));
  }

  function resetZoom() {
    if (!chart) return;
    const [first, last] = indexRange();
    chart.setScale('x', {min: first, max: last});
  }

  // Draws `values`, the block `id`'s.
  function draw(id, values) {
    const block = blocks.get(id);
    if (!block) return;
    shownId = id;
    shownValues = values;
    shownRange = rangeOf(values);
    // A zoom is kept, from block to block, as far as the next block reaches.
    let keep = zoomedIn() ? [chart.scales.x.min, Math.min(chart.scales.x.max, values.length - 1)] : null;
    if (keep && keep[1] - keep[0] < 1) keep = null;
    if (xs.length !== values.length) {
      xs = new Float64Array(values.length);
      for (let i = 0; i < xs.length; ++i) xs[i] = i;
    }
    if (!chart) makeChart();
    chart.setData([xs, values], false);
    if (keep) {
      chart.setScale('x', {min: keep[0], max: keep[1]});
    } else {
      resetZoom();
    }
    chart.setScale('y', {min: valueRange()[0], max: valueRange()[1]});
    let heading = (block.source ? block.source + ': scan ' : 'Scan ') + block.scan + ', block ' + block.block +
      ': ' + block.count +
      (block.count === 1 ? ' value' : ' values');
    heading += values.length === 1 ? ' of ' + shownRange[0] : ' from ' + shownRange[0] + ' to ' + shownRange[1];
    $('heading').textContent = heading;
    if (block.cut) {
      const note = document.createElement('span');
      note.className = 'note';
      note.textContent = ' (cut short: the report ends in its values)';
      $('heading').appendChild(note);
    }
    $('csv').hidden = false;
    $('csv').textContent = 'Values as CSV (' + block.name + '.csv)';
    readOut(chart);
    list.shown(id);
  }

  // Fetches and draws block `id`, unless values are on their way already.
  function show(id, then) {
    if (busy || !blocks.has(id)) return;
    busy = true;
    source.values(blocks.get(id)).then((values) => {
      draw(id, values);
      if (then) then();
    }).catch((error) => {
      $('drawn').textContent = String(error.message || error);
    }).finally(() => {
      busy = false;
      requestAnimationFrame(frame);
    });
  }

  // Once a frame at most: the newest block while live (those between two
  // drawn are skipped, and counted).
  function frame() {
    const seen = view();
    if (live && seen.length > 0 && !busy) {
      const newest = seen[seen.length - 1];
      if (newest !== liveDrawn) {
        const before = liveDrawn === 0 ? -1 : indexIn(seen, liveDrawn);
        if (before >= 0 && seen.length - 1 > before + 1) skipped += seen.length - 2 - before;
        stats.skipped = skipped;
        const drawing = newest;
        show(drawing, () => {
          liveDrawn = drawing;
          showLiveControls();
        });
      }
    }
    sides.frame();
  }

  // Pause, and the words on live drawing, only while blocks can still come
  // and their news reaches the page.
  function showLiveControls() {
    const coming = (!state || state.reading) && linked;
    $('live').hidden = !coming;
    $('paused').hidden = !coming;
    if (!live) return;
    const passed = skipped > 0
      ? skipped + ' that came faster than a screen draws were passed over (they are in the list)'
      : '';
    if (coming && liveDrawn !== 0) {
      $('drawn').textContent = 'Live: the newest block is drawn as it comes' + (passed ? '; ' + passed : '') + '.';
    } else if (!coming) {
      $('drawn').textContent = passed ? 'While the run went on, ' + passed + '.' : '';
    } else {
      $('drawn').textContent = '';
    }
  }

  // --- The list, and going from block to block -------------------------------

  // Every block kept, newest first, in step with each as it comes: a row for
  // each scan as it came (a scan number seen again in a later run gets a
  // row of its own), a button for each block in it. Only what changes is
  // touched, so that thousands of blocks cost no more per block than a few.
  const list = {
    rows: [],              // the oldest first: {scan, source, ids, element, lastId}
    lastRow: new Map(),    // each sender's newest row ('' for a report's)
    buttons: new Map(),    // id -> its button
    lastId: 0,
    shownId: 0,
    add(block) {
      const source = block.source || '';
      let row = this.lastRow.get(source);
      // A report's row holds a run of blocks in a row; a sender's, its own
      // blocks of one scan in a row, whatever came between from others.
      const own = source ? idsOf.get(source) : null;
      const next = source ? Boolean(row) && own.length > 1 && row.lastId === own[own.length - 2]
        : block.id === this.lastId + 1;
      if (!row || row.scan !== block.scan || !next) {
        const element = document.createElement('div');
        element.className = 'scan';
        const name = document.createElement('span');
        name.textContent = (source ? source + ' scan ' : 'Scan ') + block.scan;
        element.appendChild(name);
        element.hidden = Boolean(chosen) && source !== chosen;
        row = {scan: block.scan, source, ids: [], element, lastId: 0};
        this.rows.push(row);
        this.lastRow.set(source, row);
        $('scans').prepend(element);
      }
      row.lastId = block.id;
      const button = document.createElement('button');
      button.textContent = 'block ' + block.block + (block.cut ? ' (cut short)' : '');
      button.title = block.name + ': ' + block.count + (block.count === 1 ? ' value' : ' values');
      if (block.cut) button.className = 'cut';
      button.addEventListener('click', () => pick(block.id));
      row.element.appendChild(button);
      row.ids.push(block.id);
      this.buttons.set(block.id, button);
      this.lastId = block.id;
      let older = false;
      while (this.buttons.size > LIST_BLOCKS) {
        this.remove(this.rows[0].ids[0]);
        older = true;
      }
      if (older) $('older').textContent = 'Older blocks: go to them by scan number, or with the arrow keys.';
    },
    remove(id) {
      const button = this.buttons.get(id);
      if (!button) return;
      this.buttons.delete(id);
      button.remove();
      const row = this.rows[0];
      if (row && row.ids[0] === id) {
        row.ids.shift();
        if (row.ids.length === 0) {
          row.element.remove();
          this.rows.shift();
          if (this.lastRow.get(row.source) === row) this.lastRow.delete(row.source);
        }
      }
    },
    shown(id) {
      const before = this.buttons.get(this.shownId);
      if (before) before.classList.remove('shown');
      const now = this.buttons.get(id);
      if (now) {
        now.classList.add('shown');
        // Scrolled into the list's view, the page itself left where it is.
        const box = $('scans');
        const top = now.offsetTop;
        if (top < box.scrollTop) {
          box.scrollTop = top;
        } else if (top + now.offsetHeight > box.scrollTop + box.clientHeight) {
          box.scrollTop = top + now.offsetHeight - box.clientHeight;
        }
      }
      this.shownId = id;
    },
  };

  // --- Scanners: one chosen, or each side by side -----------------------------

  const SIDE_CHARTS = 16;  // scanners drawn side by side at most

  // The senders met, in the order they came: each offered to choose.
  const senders = {
    known: [],
    add(sender) {
      this.known.push(sender);
      const option = document.createElement('option');
      option.value = sender;
      option.textContent = sender;
      $('sender').appendChild(option);
      $('senders').hidden = false;
      sides.add(sender);
    },
  };

  // The view goes through `sender`'s blocks alone ('' every one's).
  function choose(sender) {
    chosen = sender;
    $('sender').value = sender;
    for (const row of list.rows) row.element.hidden = Boolean(chosen) && row.source !== chosen;
    const shown = blocks.get(shownId);
    if (live) {
      liveDrawn = 0;
      requestAnimationFrame(frame);
    } else if (chosen && shown && shown.source !== chosen) {
      const seen = view();
      if (seen.length > 0) show(seen[seen.length - 1]);
    }
  }

  // A small chart for each sender: while live, its newest block; else its
  // block of the scan and block number drawn large, or its last one before.
  const sides = {
    panels: new Map(),  // sender -> {heading, box, chart, range, drawnId, busy}
    on: false,
    add(sender) {
      if (this.panels.size >= SIDE_CHARTS) {
        $('sidesnote').textContent = 'The first ' + SIDE_CHARTS + ' scanners are drawn side by side; choose ' +
          'any other above.';
        return;
      }
      const element = document.createElement('div');
      const heading = document.createElement('h3');
      heading.textContent = sender;
      heading.title = 'Show this scanner alone';
      heading.addEventListener('click', () => choose(sender));
      const box = document.createElement('div');
      element.append(heading, box);
      $('sidecharts').appendChild(element);
      this.panels.set(sender, {heading, box, chart: null, range: [0, MAX_VALUE], drawnId: 0, busy: false});
    },
    show(on) {
      this.on = on;
      $('sides').checked = on;
      $('sidecharts').hidden = !on;
      requestAnimationFrame(frame);
    },
    wanted(sender) {
      const own = idsOf.get(sender) || [];
      if (own.length === 0) return 0;
      const shown = blocks.get(shownId);
      if (live || !shown) return own[own.length - 1];
      for (let k = own.length - 1; k >= 0; --k) {
        const block = blocks.get(own[k]);
        if (block.scan === shown.scan && block.block === shown.block) return own[k];
      }
      let k = own.length - 1;
      while (k > 0 && own[k] > shownId) k--;
      return own[k];
    },
    frame() {
      if (!this.on) return;
      for (const [sender, panel] of this.panels) {
        const id = this.wanted(sender);
        if (!id || id === panel.drawnId || panel.busy) continue;
        panel.busy = true;
        const block = blocks.get(id);
        source.values(block).then((values) => {
          panel.drawnId = id;
          panel.range = rangeOf(values);
          const at = new Float64Array(values.length);
          for (let i = 0; i < at.length; ++i) at[i] = i;
          if (!panel.chart) {
            panel.chart = new uPlot({
              width: Math.max(300, panel.box.clientWidth || 440),
              height: 220,
              scales: {x: {time: false}, y: {auto: false, range: () => valueRange(panel.range)}},
              axes: [{}, {size: 60}],
              series: [{}, {stroke: '#1f5fa8', width: 1, points: {show: false}}],
              cursor: {show: false},
              legend: {show: false},
            }, [[], []], panel.box);
          }
          panel.chart.setData([at, values]);
          panel.heading.textContent = sender + ': scan ' + block.scan + ', block ' + block.block + ', ' +
            block.count + (block.count === 1 ? ' value' : ' values');
        }).catch((error) => {
          panel.heading.textContent = sender + ': ' + String(error.message || error);
        }).finally(() => {
          panel.busy = false;
          requestAnimationFrame(frame);
        });
      }
    },
    rescale() {
      for (const panel of this.panels.values()) {
        if (panel.chart) panel.chart.setScale('y', {min: valueRange(panel.range)[0], max: valueRange(panel.range)[1]});
      }
    },
  };

  function pause() {
    live = false;
    arrivedWhilePaused = 0;
    $('drawn').textContent = '';
    showPaused();
  }

  function showPaused() {
    $('live').textContent = live ? 'Pause' : 'Live';
    $('paused').textContent = live ? '' : 'Paused: ' + arrivedWhilePaused +
      (arrivedWhilePaused === 1 ? ' block has' : ' blocks have') + ' arrived since.';
  }

  function goLive() {
    live = true;
    liveDrawn = 0;
    showPaused();
    requestAnimationFrame(frame);
  }

  // A block chosen by the user: the view holds it (and the charts side by
  // side follow it).
  function pick(id) {
    if (live) pause();
    show(id, () => requestAnimationFrame(frame));
  }

  function step(by) {
    const seen = view();
    if (seen.length === 0) return;
    let at = indexIn(seen, shownId);
    if (at < 0) at = seen.length - 1;
    at = Math.max(0, Math.min(seen.length - 1, at + by));
    pick(seen[at]);
  }

  function goToScan() {
    const wanted = Number($('scan').value);
    const seen = view();
    for (let k = seen.length - 1; k >= 0; --k) {
      if (blocks.get(seen[k]).scan === wanted) {
        // Its first block.
        let first = k;
        while (first > 0 && blocks.get(seen[first - 1]).scan === wanted) first--;
        pick(seen[first]);
        return;
      }
    }
    $('drawn').textContent = 'Scan ' + $('scan').value + ' is not among the blocks kept.';
  }

  setInterval(() => { if (!live) showPaused(); }, 500);

  $('live').addEventListener('click', () => (live ? pause() : goLive()));
  $('prev').addEventListener('click', () => step(-1));
  $('next').addEventListener('click', () => step(1));
  $('go').addEventListener('click', goToScan);
  $('scan').addEventListener('keydown', (event) => { if (event.key === 'Enter') goToScan(); });
  $('reset').addEventListener('click', resetZoom);
  for (const input of document.querySelectorAll('input[name=scale]')) {
    input.addEventListener('change', () => {
      if (scaleMode() === 'run') askRange();
      if (chart) chart.setScale('y', {min: valueRange()[0], max: valueRange()[1]});
      sides.rescale();
    });
  }
  $('sender').addEventListener('change', () => choose($('sender').value));
  $('sides').addEventListener('change', () => sides.show($('sides').checked));
  // The shown block's values as a CSV file, made here: the same bytes from
  // a server or from the disk.
  $('csv').addEventListener('click', (event) => {
    event.preventDefault();
    const block = blocks.get(shownId);
    if (!shownValues || !block) return;
    const link = document.createElement('a');
    link.href = URL.createObjectURL(new Blob([csvOf(shownValues)], {type: 'text/csv'}));
    link.download = block.name + '.csv';
    document.body.appendChild(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(link.href), 10000);
  });
  document.addEventListener('keydown', (event) => {
    if (event.target.tagName === 'INPUT' && event.target.type !== 'radio') return;
    if (event.key === 'ArrowLeft' && event.shiftKey) panBy(-0.15);
    else if (event.key === 'ArrowRight' && event.shiftKey) panBy(0.15);
    else if (event.key === 'ArrowLeft') step(-1);
    else if (event.key === 'ArrowRight') step(1);
    else if ((event.key === 'p' || event.key === ' ') && !$('live').hidden) live ? pause() : goLive();
    else if (event.key === '0') resetZoom();
    else if (event.key === '+' || event.key === '=') zoomBy(0.75);
    else if (event.key === '-') zoomBy(1 / 0.75);
    else if (event.key === 'g') $('scan').focus();
    else return;
    event.preventDefault();
  });

  function panBy(part) {
    if (!chart) return;
    const [first, last] = indexRange();
    const width = chart.scales.x.max - chart.scales.x.min;
    zoomTo(chart.scales.x.min + width * part, chart.scales.x.max + width * part, first, last);
  }

  function zoomBy(factor) {
    if (!chart) return;
    const [first, last] = indexRange();
    const middle = (chart.scales.x.min + chart.scales.x.max) / 2;
    const half = (chart.scales.x.max - chart.scales.x.min) / 2 * factor;
    zoomTo(middle - half, middle + half, first, last);
  }

  // For the page's tests, and for the curious at the console.
  window.telegramPlotPage = {
    chart: () => chart,
    stats,
    state: () => state,
    ids: () => ids.slice(),
    shown: () => shownId,
    values: () => shownValues,
    csv: () => (shownValues ? csvOf(shownValues) : null),
    linked: () => linked,
    live: () => live,
    show: pick,
    goLive,
    ranged: () => runRanged,
    senders: () => senders.known.slice(),
    choose,
    sideBySide: (on) => sides.show(on),
    sideBlocks: () => Array.from(sides.panels, ([sender, panel]) => [sender, panel.drawnId]),
  };

  source.start();
})();
