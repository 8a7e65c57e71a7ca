// What the program made of each byte of «Memoria»: the label it belongs to
// ("parola+2", as the debugger finds it: the nearest label at or before it)
// and whether it is a byte of an instruction or data. The bytes of the
// instructions are drawn apart from the data, each cell's title says both
// (a tooltip, and what a screen reader adds to the value), and the line
// under the grid names the cell under the pointer, or else the one chosen.
//
// The labels and roles come with every assembly of the source (see
// tw_assemble's cells); they stay those of the last source without errors,
// which is also the image the grid shows.

const roleWords = {
    istruzione: "codice di un'istruzione",
    operando: "operando di un'istruzione",
    dato: 'dato',
};
const outside = 'fuori dal programma';

const hex = (n) => `0x${n.toString(16).toUpperCase().padStart(2, '0')}`;
const valid = (list) => Array.isArray(list) && list.length === 256;

export class MemoryCells {
    // machine: the MachineView whose cells these are; owner: the line that
    // names a cell.
    constructor({ machine, owner }) {
        this.machine = machine;
        this.owner = owner;
        this.labels = new Array(256).fill(null);
        this.roles = new Array(256).fill(null);
        this.hovered = null;
        const table = machine.table;
        table.addEventListener('mouseover', (event) => {
            const cell = event.target.closest?.('td[data-address]');
            if (!cell) return;
            this.hovered = Number(cell.dataset.address);
            this.tell();
        });
        table.addEventListener('mouseleave', () => {
            this.hovered = null;
            this.tell();
        });
        // Chosen by a click or the arrows, a cell takes the focus.
        table.addEventListener('focusin', () => this.tell());
        this.tell();
    }

    // `cells` as the assembler gives them ({ labels, roles }); null: none.
    setProgram(cells) {
        const labels = valid(cells?.labels) ? cells.labels : new Array(256).fill(null);
        const roles = valid(cells?.roles) ? cells.roles : new Array(256).fill(null);
        this.labels = labels.map((label) => (typeof label === 'string' ? label : null));
        this.roles = roles.map((role) => (typeof role === 'string' && Object.prototype.hasOwnProperty.call(roleWords, role) ? role : null));
        this.machine.cells.forEach((cell, address) => {
            const role = this.roles[address];
            cell.classList.toggle('code', role === 'istruzione' || role === 'operando');
            cell.classList.toggle('opcode', role === 'istruzione');
            cell.classList.toggle('data', role === 'dato');
            const title = this.describe(address);
            if (cell.title !== title) cell.title = title;
        });
        this.tell();
    }

    // "parola+2, dato"; "fuori dal programma" for a byte the program gave
    // no value, after its label if it has one.
    describe(address) {
        const role = this.roles[address];
        const words = role ? roleWords[role] : outside;
        return this.labels[address] ? `${this.labels[address]}, ${words}` : words;
    }

    // "0x15 (21): parola+2, dato", for the cell under the pointer or else
    // the chosen one.
    tell() {
        const address = this.hovered ?? this.machine.selected;
        const name = this.machine.numbers?.addresses[address] ?? hex(address);
        this.owner.textContent = `${name}: ${this.describe(address)}`;
    }
}
