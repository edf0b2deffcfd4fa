// Starts the program in the page, and the delay view: the recorded passes of the latest run
// (app/web/delay_recorder.h) played back at a chosen speed, with the retarded positions as
// ghosts, the pulls as arrows, and the inner pair's separation and semi-major axis plotted.
'use strict';

(function () {
  // Offsets of one frame's doubles (DelayFrame).
  var F = {k: 0, time: 1, x: 2, y: 5, xRet: 8, yRet: 11, ax: 14, ay: 17, d21: 20, d31: 21,
           sep: 22, a: 23, xFrom: 24, yFrom: 27};
  var COLORS = ['#000000', '#1a8f1a', '#c01818'];
  var program = null;
  var view = {run: -1, shown: 0, playing: false, scale: 1, cx: 0, cy: 0, drawn: ''};

  function $(id) { return document.getElementById(id); }

  function frames() {
    var n = program._gravlag_web_frame_count();
    var per = program._gravlag_web_frame_doubles();
    var start = program._gravlag_web_frames() / 8, heap = program.HEAPF64;
    // The loops over every frame read heap[start + i * per + field] directly: they run on
    // every animation frame of a first run, while the browser still interprets this code.
    return {n: n, per: per, start: start, heap: heap, get: function (i, field, body) {
      return heap[start + i * per + field + (body || 0)];
    }};
  }

  // The bodies' extent in the first frame sets the scale at zoom 1: the orbits fill this
  // share of the orbit pane, below the lines of text at its top (ORBIT_DROP pixels lower).
  var ORBIT_FILL = 0.38, ORBIT_DROP = 35;
  var ORBIT_FONT = '12px system-ui, sans-serif';
  var ORBIT_HINT = ['Once "Calculate" runs: the bodies, their pulls as arrows with',
                    'the angles in \u00b0, the retarded positions as rings, and',
                    'the delays in steps (2\u21921, 3\u21921).'];
  function fitScale(f, bodies, canvas) {
    var extent = 1;
    for (var b = 0; b < bodies; ++b)
      extent = Math.max(extent, Math.abs(f.get(0, F.x, b)), Math.abs(f.get(0, F.y, b)));
    view.scale = ORBIT_FILL * Math.min(canvas.width, canvas.height) / extent;
  }

  function arrow(g, x0, y0, angle, length, color, width) {
    var x1 = x0 + length * Math.cos(angle), y1 = y0 + length * Math.sin(angle);
    g.strokeStyle = color;
    g.fillStyle = color;
    g.lineWidth = width;
    g.beginPath(); g.moveTo(x0, y0); g.lineTo(x1, y1); g.stroke();
    g.beginPath();
    g.moveTo(x1, y1);
    g.lineTo(x1 - 8 * Math.cos(angle - 0.4), y1 - 8 * Math.sin(angle - 0.4));
    g.lineTo(x1 - 8 * Math.cos(angle + 0.4), y1 - 8 * Math.sin(angle + 0.4));
    g.closePath(); g.fill();
  }

  // The run's own values the drawing needs beside its frames.
  function runShown() {
    var bodies = program._gravlag_web_run_bodies(), mass = [];
    for (var b = 0; b < bodies; ++b)
      mass.push(program._gravlag_web_run_mass(b));
    return {bodies: bodies, c: program._gravlag_web_run_c(), mass: mass};
  }

  function drawOrbit(canvas, f, i, run) {
    var g = canvas.getContext('2d'), bodies = run.bodies;
    var zoom = Math.pow(2, Number($('dv-zoom').value));
    var s = view.scale * zoom, w = canvas.width, h = canvas.height;
    // Screen y upwards, as a physicist draws an orbit; equal scales on both axes.
    function sx(x) { return w / 2 + x * s; }
    function sy(y) { return h / 2 + ORBIT_DROP - y * s; }
    g.fillStyle = 'white';
    g.fillRect(0, 0, w, h);
    g.font = ORBIT_FONT;
    if (f.n === 0) {
      // Drawn once the page starts, in the font and with the signs (° and →) of a run's
      // lines: the browser finds and loads them now, not in the first run's first frames.
      g.fillStyle = '#666';
      ORBIT_HINT.forEach(function (line, n) {
        g.fillText(line, (w - g.measureText(line).width) / 2, h / 2 - 8 + 16 * n);
      });
      return;
    }
    if ($('dv-trails').checked) {
      for (var b = 0; b < bodies; ++b) {
        g.strokeStyle = COLORS[b];
        g.globalAlpha = 0.35;
        g.lineWidth = 1;
        g.beginPath();
        var from = Math.max(0, i - 4000), heap = f.heap;
        g.moveTo(sx(f.get(from, F.x, b)), sy(f.get(from, F.y, b)));
        for (var t = from + 1, at = f.start + t * f.per; t <= i; ++t, at += f.per)
          g.lineTo(sx(heap[at + F.x + b]), sy(heap[at + F.y + b]));
        g.stroke();
        g.globalAlpha = 1;
      }
    }
    var c = run.c;
    var magnify = Number($('dv-magnify').value);
    var lines = [], angles = [];
    // Where the pull would point without a delay: the Newtonian sum towards where the
    // sources stood when the pass computed its pulls (for a pair, the line to the source).
    // The arrow is the pull the pass used; the angle between them is what the delay does,
    // and nothing at c 0.
    for (var target = 0; target < bodies; ++target) {
      var x = f.get(i, F.x, target), y = f.get(i, F.y, target), nx = 0, ny = 0;
      var xf = f.get(i, F.xFrom, target), yf = f.get(i, F.yFrom, target);
      for (var j = 0; j < bodies; ++j) {
        if (j === target)
          continue;
        var dx = f.get(i, F.xFrom, j) - xf, dy = f.get(i, F.yFrom, j) - yf, r = Math.hypot(dx, dy);
        nx += run.mass[j] * dx / (r * r * r);
        ny += run.mass[j] * dy / (r * r * r);
      }
      var ax = f.get(i, F.ax, target), ay = f.get(i, F.ay, target);
      if ((ax === 0 && ay === 0) || (nx === 0 && ny === 0))
        continue;
      var lineAngle = Math.atan2(-ny, nx), pullAngle = Math.atan2(-ay, ax);
      var off = Math.atan2(Math.sin(pullAngle - lineAngle), Math.cos(pullAngle - lineAngle));
      g.setLineDash([4, 3]);
      g.strokeStyle = '#888';
      g.lineWidth = 1;
      g.beginPath(); g.moveTo(sx(x), sy(y));
      g.lineTo(sx(x) + 60 * Math.cos(lineAngle), sy(y) + 60 * Math.sin(lineAngle)); g.stroke();
      g.setLineDash([]);
      // The no-delay direction is summed here in another order than the pass sums the pull,
      // so they differ by rounding, some 1e-15 rad, even at c 0: an angle that small says
      // nothing about the delay, which turns a pull by v / c, and is shown as 0.
      if (Math.abs(off) < 1e-12)
        off = 0;
      arrow(g, sx(x), sy(y), lineAngle + magnify * off, 55, COLORS[target], 2.5);
      angles.push(off * 180 / Math.PI);
      lines.push('body ' + (target + 1) + ': pull off the direction to the sources by '
                 + (off * 180 / Math.PI).toPrecision(3) + '\u00b0');
    }
    // An integrator that reports no pass of its own (the reference one) leaves the pulls and
    // retarded positions at zero: nothing to draw for them.
    var reported = false;
    for (var b2 = 0; b2 < bodies; ++b2)
      reported = reported || f.get(i, F.ax, b2) !== 0 || f.get(i, F.ay, b2) !== 0;
    if (!reported)
      lines.push('this integrator reports no pulls or retarded positions per pass');
    if (c > 0 && reported) {
      // Each source's retarded position as the pass used it, its offset from where the
      // source is now drawn as many times larger as the angles.
      for (var src = 0; src < bodies; ++src) {
        var px = f.get(i, F.x, src), py = f.get(i, F.y, src);
        var gx = px + magnify * (f.get(i, F.xRet, src) - px);
        var gy = py + magnify * (f.get(i, F.yRet, src) - py);
        g.strokeStyle = COLORS[src];
        g.lineWidth = 1.5;
        g.beginPath(); g.arc(sx(gx), sy(gy), 7, 0, 2 * Math.PI); g.stroke();
        g.setLineDash([2, 2]);
        g.beginPath(); g.moveTo(sx(gx), sy(gy)); g.lineTo(sx(px), sy(py)); g.stroke();
        g.setLineDash([]);
      }
    }
    for (var d = 0; d < bodies; ++d) {
      g.fillStyle = COLORS[d];
      g.beginPath(); g.arc(sx(f.get(i, F.x, d)), sy(f.get(i, F.y, d)), 4, 0, 2 * Math.PI); g.fill();
    }
    g.fillStyle = '#222';
    var head = 'pass ' + f.get(i, F.k) + ', t = ' + f.get(i, F.time).toFixed(3) + ' time units';
    if (c > 0) {
      var d21 = f.get(i, F.d21), d31 = f.get(i, F.d31);
      head += ', delay ' + (d21 >= 0 ? d21 : '-') + ' steps (2\u21921), '
              + (bodies > 2 && d31 >= 0 ? d31 : '-') + ' steps (3\u21921)';
    } else {
      head += ', c = 0: no delay';
    }
    // On a pale ground: a wide orbit's trail or ghost may pass under the text.
    var textWidth = g.measureText(head).width;
    lines.forEach(function (line) { textWidth = Math.max(textWidth, g.measureText(line).width); });
    g.fillStyle = 'rgba(255, 255, 255, 0.85)';
    g.fillRect(4, 3, textWidth + 8, 18 + 16 * lines.length);
    g.fillStyle = '#222';
    g.fillText(head, 8, 16);
    lines.forEach(function (line, n) { g.fillText(line, 8, 34 + 16 * n); });
    canvas.dataset.angles = JSON.stringify(angles); // degrees, as the lines say them
    if (magnify !== 1)
      g.fillText('angles and ghost offsets drawn \u00d7' + magnify, 8, h - 8);
  }

  function niceStep(span) {
    var step = Math.pow(10, Math.floor(Math.log10(span / 5)));
    return span / step > 25 ? step * 5 : span / step > 10 ? step * 2 : step;
  }

  function drawPlot(canvas, f, i) {
    var g = canvas.getContext('2d');
    var w = canvas.width, h = canvas.height, left = 66, right = 10, top = 40, bottom = 40;
    g.fillStyle = 'white';
    g.fillRect(0, 0, w, h);
    g.font = '11px system-ui, sans-serif';
    if (f.n < 2) {
      // Drawn once the page starts, so the text's font is also ready before the first run.
      g.fillStyle = '#666';
      g.fillText('The separation and the semi-major axis of bodies 1 and 2', left, h / 2 - 8);
      g.fillText('against time, once "Calculate" runs.', left, h / 2 + 8);
      return;
    }
    var t0 = f.get(0, F.time), t1 = f.get(f.n - 1, F.time);
    var lo = Infinity, hi = -Infinity, heap = f.heap;
    for (var n = 0, at = f.start; n < f.n; ++n, at += f.per) {
      var sep = heap[at + F.sep], a = heap[at + F.a];
      if (isFinite(sep)) { lo = Math.min(lo, sep); hi = Math.max(hi, sep); }
      if (isFinite(a)) { lo = Math.min(lo, a); hi = Math.max(hi, a); }
    }
    if (!(hi > lo)) { hi = lo + 1; lo -= 1; }
    var pad = 0.05 * (hi - lo);
    lo -= pad; hi += pad;
    function px(t) { return left + (t - t0) / (t1 - t0 || 1) * (w - left - right); }
    function py(v) { return h - bottom - (v - lo) / (hi - lo) * (h - top - bottom); }
    g.strokeStyle = '#000'; g.lineWidth = 1;
    g.beginPath(); g.moveTo(left, top); g.lineTo(left, h - bottom); g.lineTo(w - right, h - bottom); g.stroke();
    g.fillStyle = '#000'; g.font = '11px system-ui, sans-serif';
    var ts = niceStep(t1 - t0 || 1);
    for (var t = Math.ceil(t0 / ts) * ts; t <= t1; t += ts) {
      g.fillRect(px(t), h - bottom, 1, 4);
      var label = String(+t.toPrecision(6)); // the last one kept inside the pane
      g.fillText(label, Math.min(px(t) - 10, w - 2 - g.measureText(label).width), h - bottom + 15);
    }
    var vs = niceStep(hi - lo);
    for (var v = Math.ceil(lo / vs) * vs; v <= hi; v += vs) {
      g.fillRect(left - 4, py(v), 4, 1);
      g.textAlign = 'right';
      g.fillText(String(+v.toPrecision(6)), left - 6, py(v) + 4);
      g.textAlign = 'left';
    }
    g.fillText('time (time units)', w / 2 - 40, h - 6);
    g.save(); g.translate(11, h / 2 + 50); g.rotate(-Math.PI / 2);
    g.fillText('length (length units)', 0, 0); g.restore();
    [[F.sep, '#1f5fbf', 'separation of bodies 1 and 2'],
     [F.a, '#d0701a', 'semi-major axis of body 2 about body 1']].forEach(function (series, s) {
      g.strokeStyle = series[1]; g.lineWidth = 1.5;
      g.beginPath();
      var pen = false;
      for (var n = 0, at = f.start; n <= i; ++n, at += f.per) {
        var value = heap[at + series[0]];
        if (!isFinite(value)) { pen = false; continue; }
        if (pen) g.lineTo(px(heap[at + F.time]), py(value));
        else g.moveTo(px(heap[at + F.time]), py(value));
        pen = true;
      }
      g.stroke();
      g.fillStyle = series[1];
      g.fillRect(left + 8, 8 + 14 * s, 14, 3);
      g.fillText(series[2], left + 26, 13 + 14 * s);
    });
    g.strokeStyle = '#999';
    g.beginPath(); g.moveTo(px(f.get(i, F.time)), top); g.lineTo(px(f.get(i, F.time)), h - bottom); g.stroke();
  }

  function tick() {
    var f = frames();
    var bodies = program._gravlag_web_run_bodies();
    var run = program._gravlag_web_run_number();
    if (run !== view.run && f.n > 0) {
      view.run = run;
      view.shown = 0;
      view.playing = true;
      fitScale(f, bodies, $('dv-orbit'));
    }
    if (view.playing && f.n > 0)
      view.shown = Math.min(f.n - 1, view.shown + Number($('dv-speed').value));
    if (f.n > 0) {
      view.shown = Math.min(view.shown, f.n - 1);
      // Drawn again only when what it shows changed: a paused view costs nothing.
      var shows = [run, view.shown, f.n, $('dv-zoom').value, $('dv-trails').checked,
                   $('dv-magnify').value].join();
      if (shows !== view.drawn) {
        view.drawn = shows;
        drawOrbit($('dv-orbit'), f, view.shown, runShown());
        drawPlot($('dv-plot'), f, view.shown);
      }
      $('dv-status').textContent = 'frame ' + (view.shown + 1) + ' of ' + f.n
        + (program._gravlag_web_run_going() ? ' (run going)' : '');
    }
    $('dv-play').textContent = view.playing ? 'Pause' : 'Play';
    requestAnimationFrame(tick);
  }

  $('dv-play').addEventListener('click', function () {
    var f = frames();
    if (!view.playing && view.shown >= f.n - 1)
      view.shown = 0; // from the start again
    view.playing = !view.playing;
  });
  $('dv-step').addEventListener('click', function () {
    view.playing = false;
    view.shown = Math.min(view.shown + 1, Math.max(0, frames().n - 1));
  });
  // The physics of the next "Calculate": a run keeps the model it started with.
  function setModel() {
    var taken = program.ccall('gravlag_web_set_model', 'number', ['string', 'string'],
                              [$('dv-law').value, $('dv-integrator').value]);
    $('dv-model-note').textContent = taken ? 'for the next "Calculate"' : 'not a model the program knows';
  }
  $('dv-law').addEventListener('change', setModel);
  $('dv-integrator').addEventListener('change', setModel);

  // While the page waits for the person, short runs of the main loops on a program of the
  // module's own (app/web/warm_up.h) get the browser to optimise them, and the delay view
  // draws made-up frames into canvases that are never shown, so that the first "Calculate"
  // runs as fast as the ones after it instead of in code the browser has only just compiled.
  // In idle time, a few milliseconds at a time (but for a first part, bounded by time, before
  // the page starts: warmUpAtStart), and never again once the person clicks: what the person
  // does comes first.
  // The browser optimises a function once it has run a while, counted in the code it ran, so
  // the work of a display update (the progress boxes' number texts, the look at the clock,
  // the delay view's frame) is optimised only after thousands of updates, one every 100
  // passes. The runs at c 0 (loops 0 and 1, which share their pass loop and their display
  // update) make together as many updates as a default "Mercury" run, 10 000: after 1 200,
  // a first "Mercury" ran most of its updates in the quick first tier. The run at c 300
  // (loop 2) has a pass loop of its own and needs fewer rounds.
  var WARM_UP = {loops: 3, rounds: [11, 11, 4], firstPasses: 500, passes: 50000, drawings: 8,
                 frames: 3200};
  var warmUp = {step: 0, stopped: false, steps: []};
  function stopWarmUp() { warmUp.stopped = true; }
  ['pointerdown', 'click'].forEach(function (type) {
    document.addEventListener(type, stopWarmUp, true);
  });

  function madeUpFrames() {
    // As many as a default run records, so that the loops over them run as long.
    var per = program._gravlag_web_frame_doubles(), n = WARM_UP.frames;
    var heap = new Float64Array(n * per);
    for (var i = 0, at = 0; i < n; ++i, at += per) {
      heap[at + F.k] = 100 * i;
      heap[at + F.time] = 0.1 * i;
      for (var b = 0; b < 3; ++b) {
        var r = b + 1, angle = i / (50 * r) + b;
        heap[at + F.x + b] = r * Math.cos(angle);
        heap[at + F.y + b] = r * Math.sin(angle);
        heap[at + F.xRet + b] = r * Math.cos(angle - 0.05);
        heap[at + F.yRet + b] = r * Math.sin(angle - 0.05);
        heap[at + F.ax + b] = -Math.cos(angle + 0.01);
        heap[at + F.ay + b] = -Math.sin(angle + 0.01);
        heap[at + F.xFrom + b] = r * Math.cos(angle - 0.001);
        heap[at + F.yFrom + b] = r * Math.sin(angle - 0.001);
      }
      heap[at + F.d21] = 3;
      heap[at + F.d31] = 5;
      heap[at + F.sep] = 1 + 0.1 * Math.sin(i / 50);
      heap[at + F.a] = 1.2;
    }
    return {n: n, per: per, start: 0, heap: heap, get: function (i, field, body) {
      return heap[i * per + field + (body || 0)];
    }};
  }

  function planWarmUp() {
    var steps = [];
    for (var round = 0; round < Math.max.apply(null, WARM_UP.rounds); ++round) {
      for (var loop = 0; loop < WARM_UP.loops; ++loop) {
        if (round >= WARM_UP.rounds[loop])
          continue;
        steps.push(function (loop, passes) {
          return function () {
            return !program._gravlag_web_run_going() && program._gravlag_web_warm_up(loop, passes);
          };
        }(loop, round === 0 ? WARM_UP.firstPasses : WARM_UP.passes));
      }
    }
    var drawn = null;
    for (var d = 0; d < WARM_UP.drawings; ++d) {
      steps.push(function (d) {
        return function () {
          if (!drawn) {
            var orbit = document.createElement('canvas'), plot = document.createElement('canvas');
            orbit.width = orbit.height = plot.width = plot.height = 480;
            drawn = {orbit: orbit, plot: plot, f: madeUpFrames(),
                     run: {bodies: 3, c: 300, mass: [100, 100, 0.01]}};
          }
          var shown = Math.floor(d * (WARM_UP.frames - 1) / (WARM_UP.drawings - 1));
          drawOrbit(drawn.orbit, drawn.f, shown, drawn.run);
          drawPlot(drawn.plot, drawn.f, shown);
          return true;
        };
      }(d));
    }
    return steps;
  }

  function warmUpSteps(deadline) {
    var steps = warmUp.steps;
    while (!warmUp.stopped && warmUp.step < steps.length && deadline.timeRemaining() > 4) {
      if (steps[warmUp.step]())
        ++warmUp.step;
      else
        warmUp.stopped = true;
    }
    if (warmUp.stopped)
      document.body.dataset.warmUp = 'stopped';
    else if (warmUp.step === steps.length)
      document.body.dataset.warmed = String(performance.now());
    else
      idle(warmUpSteps);
  }
  // The warm-up's first steps run at once, before the page says it has started: a click that
  // comes as soon as it has (as the bench's and a quick person's) would otherwise find the
  // main loops and the update's work in code the browser has only just compiled. Bounded by
  // time, so that a slow machine still starts in time: until AT_START.until ms after the
  // navigation's start, and at most AT_START.budget ms of its own; a step is not begun when
  // the one before it, as long again, would end past that. The idle-time warm-up goes on
  // from the step reached.
  var AT_START = {until: 550, budget: 250};
  function warmUpAtStart() {
    var steps = warmUp.steps, last = 0;
    var end = Math.min(AT_START.until, performance.now() + AT_START.budget);
    while (warmUp.step < steps.length) {
      var begun = performance.now();
      if (begun + last > end || !steps[warmUp.step]())
        break;
      ++warmUp.step;
      last = performance.now() - begun;
    }
    document.body.dataset.warmUpAtStart = String(warmUp.step);
  }

  var idle = window.requestIdleCallback ? function (f) { requestIdleCallback(f); }
    : function (f) { setTimeout(function () { f({timeRemaining: function () { return 10; }}); }, 1); };

  createGravlag().then(function (module) {
    program = window.gravlag = module;
    var loading = $('gravlag-loading');
    if (loading)
      loading.remove();
    warmUp.steps = planWarmUp();
    warmUpAtStart();
    document.body.dataset.ready = String(performance.now());
    // Both panes drawn empty at once, so that their first drawing in a run finds them ready.
    requestAnimationFrame(function () {
      drawOrbit($('dv-orbit'), frames(), 0, runShown());
      drawPlot($('dv-plot'), frames(), 0);
      tick();
    });
    idle(warmUpSteps);
  });
})();
