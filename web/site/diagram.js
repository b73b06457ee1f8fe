// The datapath of one cycle as SVG, drawn from the diagram the module makes
// of the cycle's events (the view's `diagram`): the units and the pipeline
// registers, each stage's instruction, the values on the wires, and the
// paths the cycle's control signals lit, the others dimmed. It computes
// nothing about the machine: every value and every lit path comes from it.
'use strict';

(function () {
  const svgNs = 'http://www.w3.org/2000/svg';
  const width = 1240;
  const height = 512;
  const charWidth = 6.6;  // of the 11px monospace the stage headers use

  const stages = [
    { key: 'Fetch', short: 'IF', name: 'Fetch', x: 0, w: 200 },
    { key: 'Decode', short: 'ID', name: 'Decode', x: 216, w: 300 },
    { key: 'Execute', short: 'EX', name: 'Execute', x: 532, w: 290 },
    { key: 'Mem', short: 'MEM', name: 'Memory', x: 838, w: 200 },
    { key: 'WriteBack', short: 'WB', name: 'Write-back', x: 1054, w: 186 },
  ];
  const pipelineRegisters = [['IF/ID', 200], ['ID/EX', 516], ['EX/MEM', 822], ['MEM/WB', 1038]];

  // ---- how values read ---------------------------------------------------------

  const present = (value) => value !== null && value !== undefined;
  const reg = (number) => (present(number) ? `$${number}` : null);
  const at = (index) => (present(index) ? `E(${index})` : null);
  const bit = (flag) => (flag ? 1 : 0);
  const signal = (value) => (present(value) ? value : '–');  // an indifferent signal
  const named = (name, value) => (present(value) ? `${name} ${value}` : null);
  const instruction = (stage) => `${at(stage.instruction.index)} ${stage.instruction.text}`;

  function headline(stage, key) {
    switch (stage.state) {
      case 'instruction': return instruction(stage);
      case 'stall': return stage.instruction ? `stall: ${instruction(stage)}` : 'stall: PC and IF/ID held';
      case 'cancelled': return `cancelled: ${instruction(stage)}`;
      default: return key === 'Fetch' && stage.atProgramEnd ? 'nothing to fetch' : 'bubble';
    }
  }

  // ---- the units, with what each shows of the cycle ---------------------------

  function hazardLines(d) {
    const decode = d.stages.Decode;
    const h = decode.hazard;
    if (!h) return decode.state === 'stall' ? ['holds the stall:', waitText(decode)] : [];
    const sources = `R1 ${reg(h.rs) ?? '–'}  R2 ${reg(h.rt) ?? '–'}`;
    const ahead = d.machine.forwarding
      ? (h.execute ? `E.rg ${reg(h.execute.rg) ?? '–'}  E.memRead ${bit(h.execute.memRead)}` : 'E: empty')
      : `E.rg ${reg(h.execute.rg) ?? '–'} w${bit(h.execute.regWrite)}  M.rg ${reg(h.memory.rg) ?? '–'} w${bit(h.memory.regWrite)}`;
    return [sources, ahead, h.stall ? `stall: ${waitText(decode)}` : 'no hazard'];
  }

  function waitText(decode) {
    const from = present(decode.waitsFor) ? ` from ${at(decode.waitsFor)}` : '';
    return `waits for ${reg(decode.blockedRegister)}${from}`;
  }

  function controlLines(d) {
    const s = d.stages.Decode.signals;
    if (!s) return [];
    return [
      `C1 pcsel ${bit(s.pcsel)}  pcsrc ${bit(s.pcsrc)}  branch ${signal(s.branch)}`,
      `   alusrc ${signal(s.alusrc)}  aluop ${s.aluop}`,
      `C2 memread ${bit(s.memread)}  memwrite ${bit(s.memwrite)}`,
      `C3 memtoreg ${signal(s.memtoreg)}  regwrite ${bit(s.regwrite)}  Rg ${reg(d.stages.Decode.Rg) ?? '–'}`,
    ];
  }

  function forwardingLines(d) {
    const f = d.stages.Execute.forwarded;
    if (!f) return [];
    const line = (name, operand) => (operand
      ? `${name} ← ${reg(operand.number)} = ${operand.value} from ${at(operand.from)} in ${operand.stage}`
      : `${name}: as read in Decode`);
    return [line('a', f.a), line('b', f.b)];
  }

  function executeSignalLines(d) {
    const s = d.stages.Execute.signals;
    if (!s) return [];
    return [`C2 memRead ${bit(s.memRead)}  memWrite ${bit(s.memWrite)}`,
      `C3 memToreg ${signal(s.memToreg)}  regWrite ${bit(s.regWrite)}  rg ${reg(s.rg) ?? '–'}`];
  }

  function memorySignalLines(d) {
    const s = d.stages.Mem.signals;
    return s ? [`C3 memToreg ${signal(s.memToreg)}  regWrite ${bit(s.regWrite)}  rg ${reg(s.rg) ?? '–'}`] : [];
  }

  function releasedLines(d) {
    const r = d.stages.Execute.released;
    if (!r) return [];
    const read = [[r.rs, r.a], [r.rt, r.b]].filter(([number, value]) => present(number) && present(value))
      .map(([number, value]) => `${reg(number)} = ${value}`);
    return [`stall released: reads ${read.join(', ') || 'no register'} again`];
  }

  const direction = (taken) => (taken ? 'taken' : 'not taken');

  // Fetch's guess for the branch or jump it fetched.
  function predictorLines(d) {
    const p = d.stages.Fetch.prediction;
    if (!p) return [];
    const next = `${p.jump ? 'jump' : direction(p.taken)}, next ${at(p.next)}`;
    return present(p.entry) ? [`entry ${p.entry} = ${p.state}`, p.meaning, next] : [next];
  }

  // Execute's check of the guess, and the entry it writes at the cycle's end.
  function resolutionLines(d) {
    const r = d.stages.Execute.resolution;
    if (!r) return [];
    const entry = present(r.entry) ? `; entry ${r.entry}: ${r.before} → ${r.after}` : '';
    return [`predicted ${direction(r.predictedTaken)}: ${r.right ? 'right' : 'wrong'}${entry}`];
  }

  function gateLines(d) {
    const g = d.stages.Execute.gate;
    return g ? [`pcsrc ${bit(g.pcsrc)} zero ${bit(g.zero)} branch ${signal(g.branch)}`] : [];
  }

  // The units of the datapath in each stage. A unit whose `lines` tell what
  // it does in the cycle has `room` for as many lines as they can be; one
  // marked `forwarding` is drawn only on a machine with forwarding, one
  // marked `predicting` only on a machine whose Fetch predicts branches.
  const units = [
    { stage: 'Fetch', kind: 'adder', x: 56, y: 110, w: 44, h: 36, title: '+1' },
    { stage: 'Fetch', kind: 'box', x: 56, y: 210, w: 44, h: 40, title: 'PC' },
    { stage: 'Fetch', kind: 'box', x: 118, y: 186, w: 76, h: 104, title: 'Instruction', subtitle: 'memory' },
    { stage: 'Fetch', kind: 'mux', x: 22, y: 196, w: 18, h: 68, inputs: ['0', '1'], note: (d) => pcMuxNote(d) },
    { stage: 'Fetch', kind: 'box', x: 8, y: 306, w: 186, h: 64, title: 'Branch predictor', lines: predictorLines,
      room: 3, predicting: true },
    { stage: 'Decode', kind: 'box', x: 236, y: 58, w: 264, h: 54, title: 'Hazard unit', lines: hazardLines, room: 3 },
    { stage: 'Decode', kind: 'box', x: 236, y: 118, w: 264, h: 66, title: 'Control', lines: controlLines, room: 4 },
    { stage: 'Decode', kind: 'box', x: 330, y: 206, w: 110, h: 140, title: 'Registers',
      ports: [['read 1', 226], ['read 2', 262], ['write reg', 302], ['write data', 330]] },
    { stage: 'Execute', kind: 'box', x: 560, y: 58, w: 240, h: 44, title: 'Forwarding unit', lines: forwardingLines,
      room: 2, forwarding: true },
    { stage: 'Execute', kind: 'text', x: 540, y: 134, lines: executeSignalLines, room: 2 },
    { stage: 'Execute', kind: 'text', x: 540, y: 196, lines: releasedLines, room: 1 },
    { stage: 'Execute', kind: 'mux', x: 660, y: 262, w: 18, h: 56, inputs: ['0', '1'],
      note: (d) => named('alusrc', signal(d.stages.Execute.aluInput?.alusrc)) },
    { stage: 'Execute', kind: 'alu', x: 700, y: 214, w: 50, h: 100, title: (d) => d.stages.Execute.alu?.operation ?? 'ALU' },
    { stage: 'Execute', kind: 'box', x: 700, y: 350, w: 40, h: 28, title: 'gate' },
    { stage: 'Execute', kind: 'text', x: 604, y: 400, lines: gateLines, room: 1 },
    { stage: 'Execute', kind: 'mux', x: 782, y: 398, w: 16, h: 52, inputs: ['1', '0'], note: () => 'Mux3' },
    { stage: 'Execute', kind: 'text', x: 540, y: 456, lines: resolutionLines, room: 1, predicting: true },
    { stage: 'Mem', kind: 'text', x: 846, y: 146, lines: memorySignalLines, room: 1 },
    { stage: 'Mem', kind: 'box', x: 900, y: 230, w: 100, h: 120, title: 'Data memory',
      lines: (d) => [d.stages.Mem.access ?? ''], room: 1, ports: [['address', 264], ['write data', 330]] },
    { stage: 'WriteBack', kind: 'mux', x: 1110, y: 250, w: 20, h: 170, inputs: ['1', '0'],
      note: (d) => named('MemToReg', signal(d.stages.WriteBack.memToReg?.select)) },
  ];

  function pcMuxNote(d) {
    const m = d.stages.Execute.pcMux;
    return m ? `pcsel ${bit(m.pcsel)}` : null;
  }

  // ---- the wires: the path each belongs to, and the values they carry ----------

  // A wire marked `forwarding` is drawn only on a machine with forwarding,
  // one marked `predicting` only on a machine whose Fetch predicts.
  const wires = [
    // Fetch: the PC multiplexer chooses a taken branch's target or PC + 1.
    { path: 'fetch', points: [[40, 230], [56, 230]] },
    { path: 'fetch', points: [[100, 230], [118, 230]] },
    { path: 'fetch', points: [[194, 238], [200, 238]] },
    { path: 'pc-plus-one', points: [[78, 210], [78, 146]] },
    { path: 'pc-plus-one', points: [[56, 128], [12, 128], [12, 212], [22, 212]] },
    { path: 'new-pc', points: [[798, 424], [808, 424], [808, 50], [4, 50], [4, 248], [22, 248]] },
    { path: 'stall', points: [[236, 76], [106, 76], [106, 210], [100, 210]] },
    { path: 'predict', points: [[31, 306], [31, 259]], predicting: true },
    // Decode: the register file, and the fields passed on.
    { path: 'read-rs', points: [[216, 226], [330, 226]] },
    { path: 'read-rt', points: [[216, 262], [330, 262]] },
    { path: 'read-rs', points: [[440, 232], [516, 232]] },
    { path: 'read-rt', points: [[440, 276], [516, 276]] },
    { path: 'control', points: [[500, 151], [516, 151]] },
    { path: 'destination', points: [[216, 364], [516, 364]] },
    { path: 'immediate', points: [[216, 388], [516, 388]] },
    { path: 'label', points: [[216, 412], [516, 412]] },
    { path: 'pc', points: [[216, 436], [516, 436]] },
    // Execute: the operands, the forwarding unit, the ALU and the branch.
    { path: 'execute-signals', points: [[532, 151], [822, 151]] },
    { path: 'operand-a', points: [[532, 232], [600, 232]] },
    { path: 'alu', points: [[600, 232], [700, 232]] },
    { path: 'operand-b', points: [[532, 276], [640, 276]] },
    { path: 'alusrc-register', points: [[640, 276], [660, 276]] },
    { path: 'alusrc-immediate', points: [[532, 388], [652, 388], [652, 304], [660, 304]] },
    { path: 'alu', points: [[678, 290], [700, 290]] },
    { path: 'alu', points: [[750, 264], [822, 264]] },
    { path: 'store-data', points: [[646, 276], [646, 330], [822, 330]] },
    { path: 'forward-a', points: [[600, 102], [600, 232]], forwarding: true },
    { path: 'forward-b', points: [[640, 102], [640, 276]], forwarding: true },
    { path: 'branch', points: [[725, 314], [725, 350]] },
    { path: 'branch', points: [[740, 364], [790, 364], [790, 403]] },
    { path: 'branch', points: [[532, 412], [782, 412]] },
    { path: 'branch', points: [[532, 436], [782, 436]] },
    // Memory: the address, the word written and the word read.
    { path: 'memory-signals', points: [[838, 151], [1038, 151]] },
    { path: 'alu-out', points: [[838, 264], [860, 264], [860, 400], [1038, 400]] },
    { path: 'memory-address', points: [[860, 264], [900, 264]] },
    { path: 'memory-write', points: [[838, 330], [900, 330]] },
    { path: 'memory-read', points: [[1000, 270], [1038, 270]] },
    { path: 'forward-mem', points: [[850, 264], [850, 84], [800, 84]], forwarding: true },
    // Write-back: MemToReg, and the register written, back in Decode.
    { path: 'writeback-loaded', points: [[1054, 270], [1110, 270]] },
    { path: 'writeback-alu', points: [[1054, 400], [1110, 400]] },
    { path: 'register-write', points: [[1130, 335], [1195, 335], [1195, 470], [312, 470], [312, 330], [330, 330]] },
    { path: 'register-write', points: [[1054, 151], [1215, 151], [1215, 488], [300, 488], [300, 302], [330, 302]] },
    { path: 'forward-wb', points: [[1195, 335], [1195, 96], [800, 96]], forwarding: true },
  ];

  // Each label names a value on a wire: `name` is what scripts (and the
  // tests) find it by.
  const labels = [
    { name: 'pc', path: 'fetch', x: 102, y: 225, text: (s) => at(s.Fetch.Pc) },
    { name: 'next-pc', path: 'pc-plus-one', x: 14, y: 124, text: (s) => named('PC+1', at(s.Fetch.nextPc)) },
    { name: 'new-pc', path: 'new-pc', x: 112, y: 46, text: (s) => named('new PC', at(s.Execute.pcMux?.newPc)) },
    { name: 'read-rs', path: 'read-rs', x: 222, y: 221, text: (s) => named('rs', reg(s.Decode.rs)) },
    { name: 'read-rt', path: 'read-rt', x: 222, y: 257, text: (s) => named('rt', reg(s.Decode.rt)) },
    { name: 'a', path: 'read-rs', x: 444, y: 227, text: (s) => named('a', s.Decode.a) },
    { name: 'b', path: 'read-rt', x: 444, y: 271, text: (s) => named('b', s.Decode.b) },
    { name: 'destination', path: 'destination', x: 222, y: 359, text: (s) => named('Rg', reg(s.Decode.Rg)) },
    { name: 'immediate', path: 'immediate', x: 222, y: 383, text: (s) => named('imm', s.Decode.imm) },
    { name: 'label', path: 'label', x: 222, y: 407, text: (s) => named('Label', at(s.Decode.Label)) },
    { name: 'decode-pc', path: 'pc', x: 222, y: 431, text: (s) => named('Pc', s.Decode.Pc) },
    { name: 'input1', path: 'alu', x: 606, y: 227, text: (s) => s.Execute.alu?.input1 },
    { name: 'operand-b', path: 'operand-b', x: 538, y: 271, text: (s) => s.Execute.aluInput?.b },
    { name: 'alu-immediate', path: 'alusrc-immediate', x: 538, y: 383, text: (s) => named('imm', s.Execute.aluInput?.imm) },
    { name: 'input2', path: 'alu', x: 680, y: 285, text: (s) => s.Execute.alu?.input2 },
    { name: 'alu-result', path: 'alu', x: 754, y: 259, text: (s) => s.Execute.alu?.result },
    { name: 'store-data', path: 'store-data', x: 652, y: 325, text: (s) => named('A2', s.Execute.A2) },
    { name: 'zero', path: 'branch', x: 729, y: 336, text: (s) => named('zero', present(s.Execute.alu) ? bit(s.Execute.alu.zero) : null) },
    { name: 'gate', path: 'branch', x: 744, y: 359, text: (s) => (s.Execute.gate ? bit(s.Execute.gate.passed) : null) },
    { name: 'branch-target', path: 'branch', x: 538, y: 407, text: (s) => named('Label', at(s.Execute.mux3?.label)) },
    { name: 'branch-pc', path: 'branch', x: 538, y: 431, text: (s) => named('Pc', s.Execute.mux3?.pc) },
    { name: 'memory-address', path: 'memory-address', x: 862, y: 259, text: (s) => (s.Mem.read ?? s.Mem.written)?.address },
    { name: 'alu-out', path: 'alu-out', x: 864, y: 395, text: (s) => named('AluOut', s.Mem.AluOut) },
    { name: 'memory-write', path: 'memory-write', x: 842, y: 325, text: (s) => s.Mem.written?.data },
    { name: 'memory-read', path: 'memory-read', x: 1002, y: 265, text: (s) => s.Mem.read?.data },
    { name: 'loaded-word', path: 'writeback-loaded', x: 1058, y: 265, text: (s) => named('Dr', s.WriteBack.memToReg?.loadedWord) },
    { name: 'alu-result-back', path: 'writeback-alu', x: 1058, y: 395, text: (s) => named('AluOut', s.WriteBack.memToReg?.aluResult) },
    { name: 'write-data', path: 'register-write', x: 340, y: 465, text: (s) => (s.WriteBack.regWrite?.regWrite ? named('Data', s.WriteBack.regWrite.value) : null) },
    { name: 'write-register', path: 'register-write', x: 340, y: 483, text: (s) => (s.WriteBack.regWrite?.regWrite ? named('Rg', reg(s.WriteBack.regWrite.rg)) : null) },
  ];

  // ---- SVG ----------------------------------------------------------------------

  // The drawing is made once for a machine and kept: a cycle changes only
  // texts and classes on it, each written where its value changed. So a
  // Step costs the browser the few texts that changed, not a new drawing.

  // Makes the SVG element `tag` with `attributes`, and `text` if given, in `parent`.
  function make(parent, tag, attributes = {}, text = null) {
    const element = document.createElementNS(svgNs, tag);
    for (const [name, value] of Object.entries(attributes)) element.setAttribute(name, value);
    if (text !== null) element.textContent = text;
    parent.append(element);
    return element;
  }

  // A value on the drawing that a cycle sets: `write(value)` puts it on
  // screen, only when it differs from the one there.
  function changing(write) {
    let shown;
    return (value) => {
      if (value === shown) return;
      shown = value;
      write(value);
    };
  }
  // The text of `element`, ahead of its children: '' shows none.
  function textOf(element) {
    const text = element.insertBefore(document.createTextNode(''), element.firstChild);
    return changing((value) => { text.data = value; });
  }
  const attributeOf = (element, name) => changing((value) => element.setAttribute(name, value));

  const polyline = (points) => points.map(([x, y]) => `${x},${y}`).join(' ');

  function fitted(text, room) {
    const most = Math.floor(room / charWidth);
    return text.length <= most ? text : `${text.slice(0, most - 1)}…`;
  }

  const textAt = (group, className, x, y, text = null, anchor = null) =>
    make(group, 'text', { class: className, x, y, ...(anchor && { 'text-anchor': anchor }) }, text);

  // `room` lines of texts from (x, y), `step` apart: shows the lines given, the rest empty.
  function linesAt(group, x, y, step, room) {
    const shown = Array.from({ length: room }, (_, i) => textOf(textAt(group, 'detail', x, y + step * i)));
    return (lines) => shown.forEach((show, i) => show(lines[i] ?? ''));
  }

  // Each stage's column, name and headline; the headline is cut to fit,
  // and whole in its tooltip.
  function drawStage(svg, stage) {
    const group = make(svg, 'g', { 'data-stage': stage.key });
    make(group, 'rect', { class: 'column', x: stage.x, y: 0, width: stage.w, height });
    make(group, 'text', { class: 'stage-name', x: stage.x + 8, y: 15 }, `${stage.short}  ${stage.name}`);
    const head = make(group, 'text', { class: 'stage-instruction', x: stage.x + 8, y: 32 });
    const whole = textOf(make(head, 'title'));
    const cut = textOf(head);
    const state = attributeOf(group, 'class');
    return (d) => {
      const now = d.stages[stage.key];
      const text = headline(now, stage.key);
      state(`stage ${stage.key} ${now.state}`);
      cut(fitted(text, stage.w - 14));
      whole(text);
    };
  }

  // Each kind of unit draws its outline and its fixed texts into `group`,
  // and returns what shows the cycle's texts on it.
  const unitShapes = {
    mux(group, { x, y, w, h, inputs, note }) {
      make(group, 'path', { d: `M${x},${y} L${x + w},${y + 10} L${x + w},${y + h - 10} L${x},${y + h} Z` });
      inputs.forEach((input, i) => textAt(group, 'port', x + 4, y + (h * (2 * i + 1)) / 4 + 3, input));
      const said = textOf(textAt(group, 'note', x, y - 4));
      return (d) => said(note(d) ?? '');
    },
    alu(group, { x, y, w, h, title }) {
      const notch = `L${x},${y + h / 2 + 10} L${x + 10},${y + h / 2} L${x},${y + h / 2 - 10}`;
      make(group, 'path', { d: `M${x},${y} L${x + w},${y + 30} L${x + w},${y + h - 30} L${x},${y + h} ${notch} Z` });
      const operation = textOf(textAt(group, 'title', x + w / 2 + 4, y + h / 2 + 4, null, 'middle'));
      return (d) => operation(title(d));
    },
    adder(group, { x, y, w, h, title }) {
      make(group, 'ellipse', { cx: x + w / 2, cy: y + h / 2, rx: w / 2, ry: h / 2 });
      textAt(group, 'title', x + w / 2, y + h / 2 + 4, title, 'middle');
      return () => {};
    },
    text(group, { x, y, lines, room }) {
      const shown = linesAt(group, x, y, 12, room);
      return (d) => shown(lines(d));
    },
    // A box shows its title at its top when it has more to show, and in its middle otherwise.
    box(group, { x, y, w, h, title, subtitle, lines, room, ports }) {
      make(group, 'rect', { x, y, width: w, height: h, rx: 4 });
      for (const [name, portY] of ports ?? []) textAt(group, 'port', x + 4, portY + 3, name);
      if (lines) {
        textAt(group, 'title', x + 6, y + 13, title);
        const shown = linesAt(group, x + 6, y + 25, 11, room);
        return (d) => shown(lines(d));
      }
      if (ports) {
        textAt(group, 'title', x + w / 2, y + 13, title, 'middle');
      } else if (subtitle) {
        textAt(group, 'title', x + w / 2, y + h / 2 - 2, title, 'middle');
        textAt(group, 'title', x + w / 2, y + h / 2 + 12, subtitle, 'middle');
      } else {
        textAt(group, 'title', x + w / 2, y + h / 2 + 4, title, 'middle');
      }
      return () => {};
    },
  };

  function drawUnit(svg, unit) {
    const group = make(svg, 'g', { 'data-stage': unit.stage });
    const state = attributeOf(group, 'class');
    const texts = unitShapes[unit.kind](group, unit);
    return (d) => {
      state(`unit ${unit.kind} ${d.stages[unit.stage].state}`);
      texts(d);
    };
  }

  const lit = (active, path) => (active.has(path) ? 'active' : 'dim');

  function drawWire(svg, wire) {
    const line = attributeOf(make(svg, 'polyline', { 'data-path': wire.path, points: polyline(wire.points) }), 'class');
    return (d, active) => line(`wire ${lit(active, wire.path)}`);
  }

  // A wire's value, or no text when it carries none this cycle.
  function drawLabel(svg, label) {
    const element = make(svg, 'text', { 'data-wire': label.name, x: label.x, y: label.y });
    const state = attributeOf(element, 'class');
    const value = textOf(element);
    return (d, active) => {
      const text = label.text(d.stages);
      state(`value ${lit(active, label.path)}`);
      value(present(text) ? String(text) : '');
    };
  }

  function drawPipelineRegister(svg, [name, x]) {
    make(svg, 'rect', { class: 'pipeline-register', x, y: 44, width: 16, height: height - 52, rx: 3 });
    make(svg, 'text', { class: 'pipeline-register-name', transform: `translate(${x + 11},${height / 2}) rotate(-90)`, 'text-anchor': 'middle' }, name);
  }

  // The cycle's number, then what a lit and a dimmed wire mean, after it
  // however many digits it has.
  function drawLegend(svg) {
    const legend = make(svg, 'g', { class: 'legend' });
    const title = textOf(textAt(legend, 'title', 8, 508));
    const key = make(legend, 'g');
    make(key, 'line', { class: 'wire active', x1: 0, y1: 504, x2: 20, y2: 504 });
    textAt(key, 'detail', 24, 507, 'used');
    make(key, 'line', { class: 'wire dim', x1: 62, y1: 504, x2: 82, y2: 504 });
    textAt(key, 'detail', 86, 507, 'unused');
    const keyAt = attributeOf(key, 'transform');
    return (d) => {
      const text = `Cycle ${d.cycle}`;
      title(text);
      keyAt(`translate(${16 + text.length * charWidth})`);
    };
  }

  // The drawing of the datapath of a machine with or without forwarding,
  // and with or without a predictor in Fetch: its svg element, and `show(diagram)`,
  // which brings it to a cycle.
  function drawing(forwarding, predicting) {
    const svg = document.createElementNS(svgNs, 'svg');
    for (const [name, value] of Object.entries({ class: 'datapath', viewBox: `0 0 ${width} ${height}`, role: 'img' })) svg.setAttribute(name, value);
    const onMachine = (part) => (!part.forwarding || forwarding) && (!part.predicting || predicting);
    const title = textOf(make(svg, 'title'));
    const cycle = attributeOf(svg, 'data-cycle');
    const shows = [
      (d) => title(`The datapath in cycle ${d.cycle}`),
      (d) => cycle(String(d.cycle)),
      ...stages.map((stage) => drawStage(svg, stage)),
      ...wires.filter(onMachine).map((wire) => drawWire(svg, wire)),
    ];
    pipelineRegisters.forEach((latch) => drawPipelineRegister(svg, latch));
    shows.push(...units.filter(onMachine).map((unit) => drawUnit(svg, unit)),
      ...labels.map((label) => drawLabel(svg, label)), drawLegend(svg));
    return {
      svg,
      forwarding,
      predicting,
      show(diagram) {
        const active = new Set(diagram.active);
        for (const show of shows) show(diagram, active);
      },
    };
  }

  const drawings = new WeakMap();  // the element → the drawing in it

  // Draws `diagram` (one cycle's, or null before the first cycle) into
  // `element`; a click on a stage calls `onStage` with the stage's name.
  function draw(element, diagram, onStage) {
    if (!diagram) {
      drawings.delete(element);
      element.replaceChildren(Object.assign(document.createElement('p'), { className: 'note', textContent: 'Step to see the first cycle on the datapath.' }));
      return;
    }
    let shown = drawings.get(element);
    if (shown?.forwarding !== diagram.machine.forwarding || shown?.predicting !== diagram.predicting) {
      shown = drawing(diagram.machine.forwarding, diagram.predicting);
      drawings.set(element, shown);
      element.replaceChildren(shown.svg);
    }
    shown.show(diagram);
    element.onclick = (event) => {
      const stage = event.target.closest('[data-stage]');
      if (stage) onStage(stage.dataset.stage);
    };
  }

  window.fivestageDiagram = { draw };
})();
