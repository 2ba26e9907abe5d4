// The station's operator panels, drawn from /api/panel and kept live from
// /api/stream. Every entry goes to nyxhost, which applies it as an operator's
// entry; what the page shows always comes back from the station.
'use strict';

const KIND = { label: 0, text: 32, value: 64, check: 256, combo: 512, slider: 1024, lamp: 2048, button: 4096 };
const UNIT_PX = 1.5;  // the panels' layout units on screen
const token = new URLSearchParams(location.search).get('token');
let shape = '';         // what decides whether the panel is drawn again or only updated
let stream = null;

function headers(extra) {
  const h = Object.assign({}, extra || {});
  if (token) h.Authorization = 'Bearer ' + token;
  return h;
}

function setLink(state, text) {
  const link = document.getElementById('link');
  link.dataset.state = state;
  link.textContent = text;
}

function showMessage(text) {
  const box = document.getElementById('message');
  box.textContent = text;
  box.hidden = !text;
}

async function enter(windowName, ctrl, value) {
  const url = '/api/windows/' + encodeURIComponent(windowName) + '/controls/' + ctrl.id;
  try {
    const res = await fetch(url, {
      method: 'POST',
      headers: headers({ 'Content-Type': 'application/json' }),
      body: JSON.stringify({ value: value }),
    });
    const answer = await res.json().catch(() => ({}));
    if (!res.ok) {
      showMessage((ctrl.label || 'Control ' + ctrl.id) + ': ' + (answer.error || res.statusText));
    } else {
      showMessage('');
    }
  } catch (e) {
    showMessage('nyxhost did not answer: ' + e.message);
  }
  // The station's own value, right away rather than at the next event.
  refresh();
}

function tip(ctrl) {
  if (ctrl.label && ctrl.tooltip && ctrl.kind !== KIND.label) return ctrl.label + ' — ' + ctrl.tooltip;
  return ctrl.tooltip || ctrl.label || '';
}

function makeControl(windowName, ctrl) {
  let el;
  let box = null;  // the element that takes the row's width, when not el itself
  switch (ctrl.kind) {
    case KIND.label:
      el = document.createElement('span');
      el.className = 'caption';
      break;
    case KIND.text:
      el = document.createElement('output');
      break;
    case KIND.value:
      el = document.createElement('input');
      el.type = 'text';
      el.addEventListener('change', () => enter(windowName, ctrl, el.value));
      break;
    case KIND.check: {
      el = document.createElement('input');
      el.type = 'checkbox';
      el.addEventListener('change', () => enter(windowName, ctrl, el.checked ? '1' : '0'));
      box = document.createElement('label');
      box.className = 'check';
      box.append(el);
      if (ctrl.label && ctrl.width > 20) box.append(ctrl.label);
      break;
    }
    case KIND.combo:
      el = document.createElement('select');
      for (const entry of ctrl.entries || []) el.append(new Option(entry, entry));
      el.addEventListener('change', () => enter(windowName, ctrl, el.value));
      break;
    case KIND.slider:
      el = document.createElement('meter');
      el.min = 0;
      break;
    case KIND.lamp:
      el = document.createElement('span');
      el.className = 'lamp';
      el.setAttribute('role', 'img');
      box = document.createElement('span');  // a round lamp in its column
      box.className = 'lamp-box';
      box.append(el);
      break;
    case KIND.button:
      el = document.createElement('button');
      el.type = 'button';
      el.textContent = ctrl.text || ctrl.label;
      el.addEventListener('click', () => enter(windowName, ctrl, ''));
      break;
    default:
      el = document.createElement('span');
  }
  el.classList.add('ctrl');
  el.dataset.window = windowName;
  el.dataset.id = ctrl.id;
  el.dataset.label = ctrl.label;
  el.dataset.kind = ctrl.kind;
  if (ctrl.kind !== KIND.label && ctrl.kind !== KIND.button) el.setAttribute('aria-label', ctrl.label || ctrl.tooltip || 'status');
  const outer = box || el;
  if (box) box.classList.add('ctrl');
  outer.style.width = Math.round(ctrl.width * UNIT_PX) + 'px';
  if (ctrl.flex) outer.classList.add('flex');
  outer.title = tip(ctrl);
  update(el, ctrl);
  return outer;
}

// Brings one element up to the control's state. A control the operator is
// using keeps what is being entered.
function update(el, ctrl) {
  el.disabled = !ctrl.enabled;
  const value = ctrl.value === null ? '' : String(ctrl.value);
  switch (ctrl.kind) {
    case KIND.label:
      el.textContent = ctrl.label;
      break;
    case KIND.text:
      el.textContent = value;
      el.title = value || tip(ctrl);
      break;
    case KIND.value:
      if (document.activeElement !== el) el.value = value;
      break;
    case KIND.check:
      el.checked = value !== '' && value !== '0';
      break;
    case KIND.combo:
      if (document.activeElement !== el) el.value = value;
      break;
    case KIND.slider: {
      const age = parseFloat(value) || 0;
      const max = ctrl.range ? ctrl.range[1] : 0;
      el.max = max > 0 ? max : 1;
      el.value = Math.min(age, el.max);
      el.classList.toggle('over', max > 0 && age > max);
      el.title = 'Age ' + age.toFixed(1) + ' s of ' + max + ' s allowed';
      break;
    }
    case KIND.lamp:
      el.dataset.state = value;
      el.setAttribute('aria-label', ['red', 'yellow', 'green', 'grey'][Number(value)] || 'unknown');
      break;
  }
}

function shapeOf(panel) {
  return JSON.stringify(panel.windows.map((w) => [w.name, w.controls.map((c) =>
    [c.id, c.kind, c.row, c.shown, c.label, (c.entries || []).join('\u0001')])]));
}

function drawAlarms(alarms) {
  const list = document.getElementById('alarms');
  list.replaceChildren();
  if (!alarms.length) {
    const li = document.createElement('li');
    li.className = 'none';
    li.textContent = 'None';
    list.append(li);
  }
  for (const alarm of alarms) {
    const li = document.createElement('li');
    li.dataset.id = alarm.id;
    li.dataset.level = alarm.level;
    li.textContent = alarm.id + ': ' + alarm.text;
    list.append(li);
  }
}

function draw(panel) {
  document.title = 'nyxhost — ' + panel.station;
  document.getElementById('station').textContent = panel.station;
  drawAlarms(panel.alarms);
  const now = shapeOf(panel);
  if (now === shape) {
    for (const w of panel.windows) {
      for (const c of w.controls) {
        const el = document.querySelector(
          '[data-window="' + CSS.escape(w.name) + '"][data-id="' + c.id + '"]');
        if (el) update(el, c);
      }
    }
  } else {
    const main = document.getElementById('windows');
    main.replaceChildren();
    for (const w of panel.windows) {
      const section = document.createElement('section');
      section.className = 'window';
      section.dataset.window = w.name;
      const title = document.createElement('h2');
      title.textContent = w.name + ' ';
      const small = document.createElement('small');
      small.textContent = w.class;
      title.append(small);
      section.append(title);
      const rows = new Map();
      for (const c of w.controls) {
        if (!c.shown) continue;
        if (!rows.has(c.row)) rows.set(c.row, []);
        rows.get(c.row).push(c);
      }
      for (const row of [...rows.keys()].sort((a, b) => a - b)) {
        const div = document.createElement('div');
        div.className = 'row';
        for (const c of rows.get(row).sort((a, b) => a.col - b.col)) div.append(makeControl(w.name, c));
        section.append(div);
      }
      main.append(section);
    }
    shape = now;
  }
}

async function refresh() {
  try {
    const res = await fetch('/api/panel', { headers: headers() });
    if (res.ok) draw(await res.json());
  } catch (e) {
    // The stream says when the station is gone.
  }
}

function connect() {
  const url = '/api/stream' + (token ? '?token=' + encodeURIComponent(token) : '');
  stream = new EventSource(url);
  stream.addEventListener('open', () => setLink('live', 'Live'));
  stream.addEventListener('panel', (event) => {
    setLink('live', 'Live');
    draw(JSON.parse(event.data));
  });
  stream.addEventListener('closing', () => {
    stream.close();
    setLink('gone', 'nyxhost has stopped: the station is gone. What you see is its last state.');
  });
  stream.addEventListener('error', () => {
    if (document.getElementById('link').dataset.state === 'gone') return;
    setLink('lost', 'No answer from nyxhost: the station has gone away or the network is down. Retrying…');
  });
}

refresh().then(connect);
