// The page's side of the web window services (ui/web/web_services.cpp): windows as boxes on
// the page, controls as HTML elements, drawing areas as canvases, and the queue of the
// person's input that the program takes at its hand-overs. Linked into the module with
// --js-library; the page finds the windows under the element with id "gravlag-desktop".

mergeInto(LibraryManager.library, {
  $GravlagPage: {
    windows: [],   // per window: {section, inner, canvas, context}
    controls: [],  // per control: its element
    input: [],     // queued: {kind, subject, text}
    taken: null,   // the event the program is reading
    pumping: false,
    ended: false,
    desktop: function () {
      return document.getElementById('gravlag-desktop') || document.body;
    },
    queue: function (kind, subject, text) {
      if (GravlagPage.ended)
        return;
      GravlagPage.input.push({kind: kind, subject: subject, text: text || ''});
      GravlagPage.pump();
    },
    // Runs the queued input when the program is idle; during a run, the run's next hand-over
    // takes it.
    pump: function () {
      if (GravlagPage.pumping || GravlagPage.input.length === 0)
        return;
      GravlagPage.pumping = true;
      Promise.resolve(Module.ccall('gravlag_web_pump', null, [], [], {async: true}))
        .catch(function (e) { console.error('gravlag: ' + e); })
        .finally(function () {
          GravlagPage.pumping = false;
          if (GravlagPage.input.length)
            setTimeout(GravlagPage.pump, 0);
        });
    },
    text: function (pointer, length) {
      return UTF8ArrayToString(HEAPU8, pointer, length);
    },
    hex: function (rgb) {
      return '#' + (rgb & 0xffffff).toString(16).padStart(6, '0');
    },
  },

  gravlag_dom_window__deps: ['$GravlagPage'],
  gravlag_dom_window: function (id, name, nameLength, caption, captionLength) {
    var section = document.createElement('section');
    section.className = 'gl-window';
    section.id = GravlagPage.text(name, nameLength);
    section.hidden = true;
    var header = document.createElement('header');
    var title = document.createElement('span');
    title.textContent = GravlagPage.text(caption, captionLength);
    var close = document.createElement('button');
    close.className = 'gl-close';
    close.title = 'Close';
    close.textContent = '\u00d7';
    close.addEventListener('click', function () { GravlagPage.queue(3, id); });
    header.append(title, close);
    var inner = document.createElement('div');
    inner.className = 'gl-inner';
    var canvas = document.createElement('canvas');
    canvas.width = 0;
    canvas.height = 0;
    inner.append(canvas);
    section.append(header, inner);
    GravlagPage.desktop().append(section);
    GravlagPage.windows[id] = {section: section, inner: inner, canvas: canvas,
                               context: canvas.getContext('2d', {alpha: false})};
  },

  gravlag_dom_window_geometry__deps: ['$GravlagPage'],
  gravlag_dom_window_geometry: function (id, left, top, innerWidth, innerHeight) {
    var w = GravlagPage.windows[id];
    w.section.style.left = left + 'px';
    w.section.style.top = top + 'px';
    w.inner.style.width = innerWidth + 'px';
    w.inner.style.height = innerHeight + 'px';
    if (w.canvas.width !== innerWidth || w.canvas.height !== innerHeight) {
      w.canvas.width = innerWidth;
      w.canvas.height = innerHeight;
    }
  },

  gravlag_dom_window_visible__deps: ['$GravlagPage'],
  gravlag_dom_window_visible: function (id, visible) {
    GravlagPage.windows[id].section.hidden = !visible;
  },

  gravlag_dom_paint__deps: ['$GravlagPage'],
  gravlag_dom_paint: function (id, rgba, width, height) {
    if (width <= 0 || height <= 0)
      return;
    var w = GravlagPage.windows[id];
    var pixels = new Uint8ClampedArray(HEAPU8.buffer, rgba, width * height * 4);
    w.context.putImageData(new ImageData(pixels, width, height), 0, 0);
  },

  gravlag_dom_control__deps: ['$GravlagPage'],
  gravlag_dom_control: function (window, id, kind, name, nameLength, left, top, width, height,
                                 tabIndex) {
    var element;
    if (kind === 0) {
      element = document.createElement('input');
      element.type = 'text';
      element.spellcheck = false;
      element.autocomplete = 'off';
      element.addEventListener('click', function () { GravlagPage.queue(1, id); });
      element.addEventListener('input', function () { GravlagPage.queue(2, id, element.value); });
    } else if (kind === 1) {
      element = document.createElement('span');
    } else {
      element = document.createElement('button');
      element.addEventListener('click', function () { GravlagPage.queue(1, id); });
    }
    element.className = ['gl-box', 'gl-label', 'gl-button'][kind];
    element.id = GravlagPage.text(name, nameLength);
    element.style.left = left + 'px';
    element.style.top = top + 'px';
    element.style.width = width + 'px';
    element.style.height = height + 'px';
    if (kind !== 1)
      element.tabIndex = tabIndex + 1;
    GravlagPage.windows[window].inner.append(element);
    GravlagPage.controls[id] = element;
  },

  gravlag_dom_control_text__deps: ['$GravlagPage'],
  gravlag_dom_control_text: function (id, text, length) {
    var element = GravlagPage.controls[id];
    var value = GravlagPage.text(text, length);
    if (element.tagName === 'INPUT') {
      // Unchanged text is not written back, so the caret stays where the person left it.
      if (element.value !== value)
        element.value = value;
      element.title = value;
    } else {
      element.textContent = value;
    }
  },

  gravlag_dom_control_place__deps: ['$GravlagPage'],
  gravlag_dom_control_place: function (id, left, top, visible) {
    var element = GravlagPage.controls[id];
    element.style.left = left + 'px';
    element.style.top = top + 'px';
    element.hidden = !visible;
  },

  gravlag_dom_control_colors__deps: ['$GravlagPage'],
  gravlag_dom_control_colors: function (id, textRgb, backgroundRgb) {
    var element = GravlagPage.controls[id];
    element.style.color = GravlagPage.hex(textRgb);
    element.style.backgroundColor = GravlagPage.hex(backgroundRgb);
  },

  gravlag_dom_program_ended__deps: ['$GravlagPage'],
  gravlag_dom_program_ended: function () {
    GravlagPage.ended = true;
    GravlagPage.input.length = 0;
    GravlagPage.windows.forEach(function (w) { w.section.hidden = true; });
    var note = document.createElement('p');
    note.id = 'gravlag-ended';
    note.textContent = 'gravlag has ended. Reload the page to start it again.';
    GravlagPage.desktop().append(note);
  },

  gravlag_dom_next_event__deps: ['$GravlagPage'],
  gravlag_dom_next_event: function () {
    GravlagPage.taken = GravlagPage.input.shift() || null;
    return GravlagPage.taken ? GravlagPage.taken.kind : 0;
  },

  gravlag_dom_event_subject__deps: ['$GravlagPage'],
  gravlag_dom_event_subject: function () {
    return GravlagPage.taken ? GravlagPage.taken.subject : -1;
  },

  gravlag_dom_event_text_length__deps: ['$GravlagPage'],
  gravlag_dom_event_text_length: function () {
    return GravlagPage.taken ? lengthBytesUTF8(GravlagPage.taken.text) : 0;
  },

  gravlag_dom_event_text__deps: ['$GravlagPage'],
  gravlag_dom_event_text: function (buffer, capacity) {
    stringToUTF8(GravlagPage.taken ? GravlagPage.taken.text : '', buffer, capacity);
  },

  gravlag_dom_now: function () {
    return performance.now();
  },

  // A message to ourselves comes back as the next task, after the browser has painted if a
  // frame was due and run what input arrived; a zero timeout would be held back to 4 ms
  // once nested, about a quarter of every frame.
  gravlag_dom_yield__deps: ['$Asyncify'],
  gravlag_dom_yield: function () {
    return Asyncify.handleSleep(function (wakeUp) {
      var channel = new MessageChannel();
      channel.port1.onmessage = function () {
        channel.port1.close();
        wakeUp();
      };
      channel.port2.postMessage(0);
    });
  },
});
