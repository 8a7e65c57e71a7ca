// The machine as the debugger shows it: registers, flags and the 256 bytes
// of memory in a 16 × 16 table whose cells are chosen with the mouse or the
// arrow keys.

const hex = (n) => n.toString(16).toUpperCase().padStart(2, '0');
const registerNames = ['PC', 'IR', 'A', 'B', 'X'];
const flagNames = ['D', 'Z', 'O', 'P', 'N'];

export class MachineView {
    constructor({ registers, flags, table, info, onSelect = () => {} }) {
        this.registerElements = Object.fromEntries(registerNames.map((name) => [name, registers[name]]));
        this.flagsElement = flags;
        this.table = table;
        this.info = info;
        this.onSelect = onSelect;
        this.selected = 0;
        this.memory = new Array(256).fill(0);
        this.cells = [];
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
        this.select(0, false);
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
        this.selected = address;
        const cell = this.cells[address];
        cell.tabIndex = 0;
        cell.classList.add('selected');
        cell.setAttribute('aria-selected', 'true');
        if (focus) cell.focus();
        this.describe();
        this.onSelect(address);
    }

    describe() {
        const value = this.memory[this.selected];
        this.info.textContent = `Cella ${hex(this.selected)} (${this.selected}): ${value}, 0x${hex(value)}`;
    }

    // `view` as the worker gives it; null shows a machine at rest.
    show(view) {
        const registers = view?.registers ?? { PC: 0, IR: 0, A: 0, B: 0, X: 0 };
        for (const name of registerNames) this.registerElements[name].textContent = `${name} ${registers[name] ?? 0}`;
        const flags = view?.flags ?? {};
        this.flagsElement.textContent = flagNames.map((name) => `${name}=${flags[name] ? 1 : 0}`).join(' ');
        this.memory = view?.memory?.length === 256 ? view.memory : new Array(256).fill(0);
        const changed = new Set(view?.changed ?? []);
        const breakpoints = new Set(view?.breakpoints ?? []);
        const watched = new Set(view?.watchpoints ?? []);
        const pc = view ? registers.PC : null;
        for (let address = 0; address < 256; address++) {
            const cell = this.cells[address];
            const text = hex(this.memory[address] & 0xff);
            if (cell.textContent !== text) cell.textContent = text;
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
        this.show({ registers: { PC: 0, IR: 0, A: 0, B: 0, X: 0 }, flags: {}, memory, changed: [], breakpoints: [], watchpoints: [] });
        for (const cell of this.cells) cell.classList.remove('pc');
    }
}
