// The machine as the debugger shows it: registers, flags and the 256 bytes
// of memory in a 16 × 16 table whose cells are chosen with the mouse or the
// arrow keys, each row's bytes as characters beside it.
//
// The numbers a person reads (a register's "0x0C (12)", a cell's
// description, a row's characters) are written by the wasm module, as every
// program writes them: the view brings them, and setNumbers() gives the
// module's table of the 256 values for what the page shows on its own.

const hex = (n) => n.toString(16).toUpperCase().padStart(2, '0');
const registerNames = ['PC', 'IR', 'A', 'B', 'X'];
const flagNames = ['D', 'Z', 'O', 'P', 'N'];

export class MachineView {
    constructor({ registers, registersHex, flags, table, characters, info, onSelect = () => {} }) {
        this.registerElements = Object.fromEntries(registerNames.map((name) => [name, registers[name]]));
        this.hexElements = Object.fromEntries(registerNames.map((name) => [name, registersHex[name]]));
        this.flagsElement = flags;
        this.table = table;
        this.charactersElement = characters;
        this.info = info;
        this.onSelect = onSelect;
        this.selected = 0;
        this.memory = new Array(256).fill(0);
        this.cells = [];
        this.characterCells = [];
        // { addresses: [256], bytes: [256], characters: "256" } from the module.
        this.numbers = null;
        this.lastView = null;
        this.build();
        this.table.addEventListener('keydown', (event) => this.key(event));
        this.table.addEventListener('click', (event) => {
            const cell = event.target.closest('td');
            if (cell && cell.dataset.address !== undefined) this.select(Number(cell.dataset.address), true);
        });
    }

    build() {
        const head = document.createElement('thead');
        const headRow = document.createElement('tr');
        const corner = document.createElement('th');
        corner.className = 'corner';
        headRow.append(corner);
        for (let column = 0; column < 16; column++) {
            const th = document.createElement('th');
            th.scope = 'col';
            th.textContent = column.toString(16).toUpperCase();
            headRow.append(th);
        }
        head.append(headRow);
        const body = document.createElement('tbody');
        for (let row = 0; row < 16; row++) {
            const tr = document.createElement('tr');
            const th = document.createElement('th');
            th.scope = 'row';
            th.textContent = hex(row * 16);
            tr.append(th);
            for (let column = 0; column < 16; column++) {
                const address = row * 16 + column;
                const td = document.createElement('td');
                td.dataset.address = String(address);
                td.tabIndex = address === this.selected ? 0 : -1;
                td.textContent = '00';
                this.cells.push(td);
                tr.append(td);
            }
            body.append(tr);
        }
        this.table.replaceChildren(head, body);
        // The characters: a line beside the header, then one beside each row.
        const lines = [document.createElement('div')];
        lines[0].className = 'characters-head';
        for (let row = 0; row < 16; row++) {
            const line = document.createElement('div');
            for (let column = 0; column < 16; column++) {
                const character = document.createElement('span');
                character.textContent = '.';
                this.characterCells.push(character);
                line.append(character);
            }
            lines.push(line);
        }
        this.charactersElement.replaceChildren(...lines);
        this.select(0, false);
    }

    // The module's texts of the 256 values; what is shown is written again with them.
    setNumbers(numbers) {
        const valid = (list) => Array.isArray(list) && list.length === 256;
        if (!numbers || !valid(numbers.addresses) || !valid(numbers.bytes) || typeof numbers.characters !== 'string') return;
        this.numbers = numbers;
        this.show(this.lastView);
    }

    key(event) {
        if (event.altKey || event.ctrlKey || event.metaKey) return;
        const moves = { ArrowLeft: -1, ArrowRight: 1, ArrowUp: -16, ArrowDown: 16, Home: null, End: null };
        if (!(event.key in moves)) return;
        event.preventDefault();
        let next;
        if (event.key === 'Home') next = this.selected & 0xf0;
        else if (event.key === 'End') next = this.selected | 0x0f;
        else next = (this.selected + moves[event.key] + 256) % 256;
        this.select(next, true);
    }

    select(address, focus) {
        const previous = this.cells[this.selected];
        previous.tabIndex = -1;
        previous.classList.remove('selected');
        previous.removeAttribute('aria-selected');
        this.characterCells[this.selected].classList.remove('selected');
        this.selected = address;
        this.characterCells[address].classList.add('selected');
        const cell = this.cells[address];
        cell.tabIndex = 0;
        cell.classList.add('selected');
        cell.setAttribute('aria-selected', 'true');
        if (focus) cell.focus();
        this.describe();
        this.onSelect(address);
    }

    // "Cella 0x13 (19): 0x75 (117, 'u')".
    describe() {
        const value = this.memory[this.selected] & 0xff;
        const numbers = this.numbers;
        this.info.textContent = numbers ? `Cella ${numbers.addresses[this.selected]}: ${numbers.bytes[value]}` : '';
    }

    // `view` as the worker gives it; null shows a machine at rest.
    show(view) {
        this.lastView = view;
        const registers = view?.registers ?? { PC: 0, IR: 0, A: 0, B: 0, X: 0 };
        for (const name of registerNames) {
            const value = (registers[name] ?? 0) & 0xff;
            this.registerElements[name].textContent = `${name} ${value}`;
            this.hexElements[name].textContent = view?.registersText?.[name] ?? this.numbers?.addresses[value] ?? '';
        }
        const flags = view?.flags ?? {};
        this.flagsElement.textContent = flagNames.map((name) => `${name}=${flags[name] ? 1 : 0}`).join(' ');
        this.memory = view?.memory?.length === 256 ? view.memory : new Array(256).fill(0);
        const changed = new Set(view?.changed ?? []);
        const breakpoints = new Set(view?.breakpoints ?? []);
        const watched = new Set(view?.watchpoints ?? []);
        // An image not yet run has no next instruction.
        const pc = view && !view.image ? registers.PC : null;
        const characters = typeof view?.characters === 'string' && view.characters.length === 256 ? view.characters : null;
        for (let address = 0; address < 256; address++) {
            const cell = this.cells[address];
            const value = this.memory[address] & 0xff;
            const text = hex(value);
            if (cell.textContent !== text) cell.textContent = text;
            const character = characters?.[address] ?? this.numbers?.characters[value] ?? '.';
            if (this.characterCells[address].textContent !== character) this.characterCells[address].textContent = character;
            cell.classList.toggle('changed', changed.has(address));
            cell.classList.toggle('effective', view?.effective === address);
            cell.classList.toggle('at-b', view?.atB === address);
            cell.classList.toggle('pc', pc === address);
            cell.classList.toggle('breakpoint', breakpoints.has(address));
            cell.classList.toggle('watched', watched.has(address));
        }
        this.describe();
    }

    // The image the assembler made, before any run.
    showImage(image) {
        const memory = new Array(256).fill(0);
        if (Array.isArray(image)) image.slice(0, 256).forEach((b, i) => (memory[i] = b & 0xff));
        this.show({ registers: { PC: 0, IR: 0, A: 0, B: 0, X: 0 }, flags: {}, memory, changed: [], breakpoints: [], watchpoints: [], image: true });
    }
}
