// «Processore»: a drawing of the machine's parts (memory, PC, IR, A, B, X,
// the adder that forms A + X, the three units, the flags and the console)
// and the paths between them. The phase shown is highlighted, its values
// written on its paths; the drawing's text alternative is that phase's
// explanation, so a screen reader gets what the drawing shows.
//
// show() may be called as often as views come: the drawing is redrawn at
// most once an animation frame, with the last thing asked.

const svgNamespace = 'http://www.w3.org/2000/svg';
const hex = (n) => `0x${(Number(n) & 0xff).toString(16).toUpperCase().padStart(2, '0')}`;

// The parts: where each box is, and its name as the explanation writes it.
const parts = {
    memory: { x: 8, y: 8, width: 92, height: 244, label: 'Memoria' },
    PC: { x: 150, y: 8, width: 74, height: 32, label: 'PC' },
    IR: { x: 150, y: 56, width: 74, height: 32, label: 'IR' },
    A: { x: 150, y: 104, width: 74, height: 32, label: 'A' },
    B: { x: 150, y: 152, width: 74, height: 32, label: 'B' },
    X: { x: 150, y: 200, width: 74, height: 32, label: 'X' },
    adder: { x: 262, y: 150, width: 64, height: 40, label: 'A + X' },
    control: { x: 372, y: 8, width: 110, height: 32, label: 'Controllo' },
    arithmetic: { x: 372, y: 56, width: 110, height: 32, label: 'Aritmetica' },
    io: { x: 372, y: 104, width: 110, height: 32, label: 'Ingresso/uscita' },
    flags: { x: 372, y: 160, width: 110, height: 32, label: 'Flag' },
    console: { x: 372, y: 216, width: 110, height: 32, label: 'Console' },
};

// The units by the name the explanation gives them.
const unitParts = { controllo: 'control', aritmetica: 'arithmetic', 'ingresso/uscita': 'io' };

// The paths: from one part to another, as lines through the given points,
// with the place of their value's label.
const paths = {
    'PC-memory': { points: [[150, 24], [100, 24]], label: [125, 18] },
    'memory-IR': { points: [[100, 72], [150, 72]], label: [125, 66] },
    'memory-A': { points: [[100, 120], [150, 120]], label: [125, 114] },
    'memory-B': { points: [[100, 168], [150, 168]], label: [125, 162] },
    'PC-next': { points: [[174, 8], [174, -6], [200, -6], [200, 8]], label: [206, -4], anchor: 'start' },
    // IR to each unit: one trunk, then a branch to the unit that decodes.
    'IR-control': { points: [[224, 72], [356, 72], [356, 32], [372, 32]], label: [298, 66] },
    'IR-arithmetic': { points: [[224, 72], [372, 72]], label: [298, 66] },
    'IR-io': { points: [[224, 72], [356, 72], [356, 120], [372, 120]], label: [298, 66] },
    'A-adder': { points: [[224, 120], [294, 120], [294, 150]], label: [300, 136], anchor: 'start' },
    'X-adder': { points: [[224, 216], [294, 216], [294, 190]], label: [300, 208], anchor: 'start' },
    'adder-memory': { points: [[262, 170], [240, 170], [240, 262], [54, 262], [54, 252]], label: [150, 276] },
    'memory-unit': { points: [[100, 240], [128, 240], [128, 292], [500, 292], [500, 72], [482, 72]], label: [330, 306] },
    'unit-flags': { points: [[427, 136], [427, 160]], label: [434, 152], anchor: 'start' },
    'unit-console': { points: [[490, 120], [490, 232], [482, 232]], label: [496, 184], anchor: 'start' },
    'unit-PC': { points: [[372, 24], [224, 24]], label: [298, 18] },
    'unit-register': { points: [[372, 40], [340, 40], [340, 216], [224, 216]], label: [346, 232], anchor: 'start' },
};

function element(name, attributes = {}, text) {
    const node = document.createElementNS(svgNamespace, name);
    for (const [key, value] of Object.entries(attributes)) node.setAttribute(key, String(value));
    if (text !== undefined) node.textContent = text;
    return node;
}

// What the phase of an explanation lights up: parts, and paths with their values.
export function phaseHighlights(explanation, phaseName) {
    const lit = { parts: new Set(), paths: new Map() };
    if (!explanation) return lit;
    const registers = explanation.fetched?.registers ?? {};
    const unit = unitParts[explanation.unit];
    if (phaseName === 'Prelievo') {
        lit.parts.add('memory').add('PC').add('IR');
        lit.paths.set('PC-memory', hex(explanation.address));
        lit.paths.set('memory-IR', hex(explanation.opcode));
        if (explanation.length >= 2) {
            lit.parts.add('A');
            lit.paths.set('memory-A', hex(registers.A));
        }
        if (explanation.length >= 3) {
            lit.parts.add('B');
            lit.paths.set('memory-B', hex(registers.B));
        }
        lit.paths.set('PC-next', `${hex(registers.PC)}`);
        return lit;
    }
    if (phaseName === 'Decodifica') {
        lit.parts.add('IR');
        if (unit) lit.parts.add(unit);
        if (unit) lit.paths.set(`IR-${unit}`, `${explanation.mnemonic ?? ''}`);
        return lit;
    }
    const phase = explanation.phases?.find((p) => p.name === phaseName);
    if (!phase) return lit;
    if (unit) lit.parts.add(unit);
    if (explanation.effective !== null && explanation.effective !== undefined) {
        lit.parts.add('A').add('X').add('adder').add('memory');
        lit.paths.set('A-adder', hex(registers.A));
        lit.paths.set('X-adder', hex(explanation.x ?? 0));
        // 0..510: above 255 a register, or outside the machine.
        lit.paths.set('adder-memory', `0x${Number(explanation.effective).toString(16).toUpperCase().padStart(2, '0')}`);
    }
    for (const place of [...(phase.reads ?? []), ...(phase.writes ?? [])]) {
        const value = place.new ?? place.value;
        const shown = typeof value === 'number' ? hex(value) : typeof value === 'string' ? value : '';
        switch (place.kind) {
            case 'memory':
            case 'outside':
                lit.parts.add('memory');
                lit.paths.set('memory-unit', shown);
                break;
            case 'flag':
                lit.parts.add('flags');
                lit.paths.set('unit-flags', shown);
                break;
            case 'output':
            case 'input':
                lit.parts.add('console');
                lit.paths.set('unit-console', shown);
                break;
            case 'register':
                if (place.name === 'PC') {
                    lit.parts.add('PC');
                    lit.paths.set('unit-PC', shown);
                } else if (place.name in parts && !lit.paths.has(`${place.name}-adder`)) {
                    lit.parts.add(place.name);
                    if (place.name === 'X' && 'new' in place) lit.paths.set('unit-register', shown);
                }
                break;
            default:
                break;
        }
    }
    return lit;
}

export class ProcessorView {
    // container: where the drawing goes; description: the element that
    // holds its text alternative.
    constructor({ container, description }) {
        this.description = description;
        this.wanted = null;
        this.frame = null;
        this.redraws = 0;
        this.svg = element('svg', {
            viewBox: '0 -14 512 328',
            role: 'img',
            'aria-labelledby': description.id,
            class: 'processor-drawing',
        });
        this.partElements = {};
        this.valueElements = {};
        this.pathElements = {};
        const defs = element('defs');
        const marker = element('marker', { id: 'processor-arrow', viewBox: '0 0 8 8', refX: 7, refY: 4, markerWidth: 6, markerHeight: 6, orient: 'auto-start-reverse' });
        marker.append(element('path', { d: 'M0,0 L8,4 L0,8 z', class: 'arrow-head' }));
        defs.append(marker);
        this.svg.append(defs);
        for (const [name, path] of Object.entries(paths)) {
            const group = element('g', { class: 'processor-path', 'data-path': name });
            group.append(element('polyline', { points: path.points.map((p) => p.join(',')).join(' '), 'marker-end': 'url(#processor-arrow)' }));
            const label = element('text', { x: path.label[0], y: path.label[1], 'text-anchor': path.anchor ?? 'middle' });
            group.append(label);
            this.pathElements[name] = { group, label };
            this.svg.append(group);
        }
        for (const [name, part] of Object.entries(parts)) {
            const group = element('g', { class: 'processor-part', 'data-part': name });
            group.append(element('rect', { x: part.x, y: part.y, width: part.width, height: part.height, rx: 5 }));
            const inRegister = part.width < 80;
            group.append(element('text', { x: part.x + 6, y: part.y + (inRegister ? 21 : 20), class: 'part-name' }, part.label));
            const value = element('text', { x: part.x + part.width - 6, y: part.y + (inRegister ? 21 : 20), 'text-anchor': 'end', class: 'part-value' });
            group.append(value);
            this.partElements[name] = group;
            this.valueElements[name] = value;
            this.svg.append(group);
        }
        container.replaceChildren(this.svg);
        this.draw({ registers: null, explanation: null, phase: null, text: '' });
    }

    // registers: { PC, IR, A, B, X } as the drawing shows them; explanation:
    // the instruction's (see the worker's explain), phase: the name of the
    // phase to highlight, or null; text: the alternative.
    show(state) {
        this.wanted = state;
        if (this.frame !== null) return;
        this.frame = requestAnimationFrame(() => {
            this.frame = null;
            this.draw(this.wanted);
        });
    }

    draw({ registers, explanation, phase, text }) {
        this.redraws++;
        for (const name of ['PC', 'IR', 'A', 'B', 'X']) this.valueElements[name].textContent = registers ? hex(registers[name] ?? 0) : '';
        const lit = phase ? phaseHighlights(explanation, phase) : { parts: new Set(), paths: new Map() };
        for (const [name, group] of Object.entries(this.partElements)) group.classList.toggle('lit', lit.parts.has(name));
        for (const [name, { group, label }] of Object.entries(this.pathElements)) {
            const on = lit.paths.has(name);
            group.classList.toggle('lit', on);
            label.textContent = on ? lit.paths.get(name) : '';
        }
        this.svg.dataset.phase = phase ?? '';
        this.description.textContent = text || 'Processore: nessuna istruzione da mostrare.';
    }
}
