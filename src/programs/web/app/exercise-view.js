// An exercise as the student reads it before anything runs: its statement
// ('testo', plain text with its line breaks, never HTML) and, for each
// visible case, what it gives the program (the input, bytes put in memory)
// and what it expects (the output and how it is compared, bytes, registers
// and flags), as the module reads them from the file. Every text goes in
// through textContent.

// A line end in an input or an output, shown where it is.
const lineEnd = '↵';

const element = (tag, className, text) => {
    const node = document.createElement(tag);
    if (className) node.className = className;
    if (text !== undefined) node.textContent = text;
    return node;
};

// "3 4↵": the text with its line ends marked, the lines after each but
// the last.
export function shownText(text) {
    return String(text).replace(/\n/g, `${lineEnd}\n`).replace(/\n$/, '');
}

const comparisons = {
    esatto: 'identica byte per byte',
    spazi: 'senza contare gli spazi in fondo alle righe, le righe vuote e gli a capo alla fine',
};

// The statement, without the line ends after its last line.
export function statementElement(statement) {
    if (typeof statement !== 'string' || statement.trim() === '') return null;
    const box = element('div', 'exercise-statement', statement.replace(/\s+$/, ''));
    box.setAttribute('role', 'region');
    box.setAttribute('aria-label', 'Testo dell\'esercizio');
    return box;
}

export class CaseDetails {
    // numbers() gives the module's texts of the 256 values (or null).
    constructor(numbers) {
        this.numbers = numbers;
    }

    address(value) {
        return this.numbers()?.addresses?.[value & 0xff] ?? String(value);
    }

    // "0xF0 (240): 6" for each run of bytes, the bytes as the file gives them.
    ranges(memory) {
        return memory.map(({ address, bytes }) => `${this.address(address)}: ${bytes.join(', ')}`).join('; ');
    }

    // The list of what a visible case gives and expects; null when it has
    // none of it (a reply without the details).
    element(item) {
        const list = element('dl', 'case-details');
        const add = (term, value, className) => {
            list.append(element('dt', '', term));
            list.append(element('dd', className, value));
        };
        const valid = (x) => Array.isArray(x) && x.length > 0;
        if (typeof item.input === 'string') {
            if (item.input === '') add('Ingresso', 'nessuno');
            else add('Ingresso', shownText(item.input), 'case-text');
        }
        if (valid(item.memory)) add('In memoria prima di partire', this.ranges(item.memory));
        const expected = item.expected;
        if (expected && typeof expected === 'object') {
            if (typeof expected.output === 'string') {
                add('Uscita attesa', expected.output === '' ? 'nessuna' : shownText(expected.output), 'case-text');
                const how = comparisons[expected.comparison];
                if (how) list.lastChild.append(element('span', 'case-note', `(confrontata ${how})`));
            }
            if (valid(expected.memory)) add('Memoria attesa alla fine', this.ranges(expected.memory));
            if (valid(expected.registers)) {
                add('Registri attesi alla fine', expected.registers.map((r) => `${r.name} = ${this.address(r.value)}`).join(', '));
            }
            if (valid(expected.flags)) add('Flag accesi alla fine', expected.flags.join(', '));
        }
        return list.children.length > 0 ? list : null;
    }
}
